// lob.h - the state behind a LOB locator, as far as other parts of the
// client layer need it.
#pragma once

#include <oci.h>

namespace tabdb {

// OCI_ATTR_LOBEMPTY: the locator, bound as an input value, gives a new
// empty LOB.
void MarkLobEmpty(OCILobLocator* loc);

}  // namespace tabdb
