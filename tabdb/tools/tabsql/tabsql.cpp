// tabsql.cpp - the SQL shell of the embedded database.
int main() { return 0; }
