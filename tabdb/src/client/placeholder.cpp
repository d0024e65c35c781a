// placeholder.cpp - keeps the core library non-empty until its modules land.
namespace tabdb {
int core_placeholder() { return 0; }
}  // namespace tabdb
