/*
 * import_parallel.c - PARALLEL=n: the selected tables loaded by n worker
 * sessions.
 */
#include "imp_local.h"

int import_parallel(IMP_RUN *run, IMP_WORKER *coordinator)
{
    /* one session for now: the workers' threads are not built yet */
    return import_serial(run, coordinator);
}
