/* The floor of verify and repair: reads what verify reads and nothing more.
 *
 *   read_floor HIVE DATABASE TABLE... [DATABASE TABLE...]...
 *
 * Reads the hive file once, then steps every row of each TABLE of the
 * DATABASE before it (an argument ending in ".db" names a database), reading
 * each column once as SQLite stores it. Prints a checksum of what it read,
 * so that no reading can be left out by the compiler. */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void fail(const char *what, const char *detail) {
  fprintf(stderr, "read_floor: %s: %s\n", what, detail);
  exit(1);
}

static unsigned long long read_file(const char *path) {
  static char buffer[1 << 16];
  unsigned long long sum = 0;
  size_t got;
  FILE *file = fopen(path, "rb");
  if (file == NULL) fail("cannot open", path);
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) sum += got + (unsigned char)buffer[got - 1];
  fclose(file);
  return sum;
}

static unsigned long long read_table(sqlite3 *db, const char *table) {
  unsigned long long sum = 0;
  sqlite3_stmt *statement;
  char *sql = sqlite3_mprintf("SELECT * FROM [%s]", table);
  int columns, column, result;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, NULL) != SQLITE_OK) fail(table, sqlite3_errmsg(db));
  sqlite3_free(sql);
  columns = sqlite3_column_count(statement);
  while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
    for (column = 0; column < columns; ++column) {
      switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER: sum += (unsigned long long)sqlite3_column_int64(statement, column); break;
        case SQLITE_FLOAT: sum += (unsigned long long)sqlite3_column_double(statement, column); break;
        case SQLITE_TEXT: {
          const unsigned char *text = sqlite3_column_text(statement, column);
          int bytes = sqlite3_column_bytes(statement, column);
          sum += (unsigned long long)bytes + (bytes > 0 ? text[0] : 0);
          break;
        }
        case SQLITE_BLOB: {
          const unsigned char *blob = sqlite3_column_blob(statement, column);
          int bytes = sqlite3_column_bytes(statement, column);
          sum += (unsigned long long)bytes + (bytes > 0 ? blob[0] : 0);
          break;
        }
        default: break;
      }
    }
  }
  if (result != SQLITE_DONE) fail(table, sqlite3_errmsg(db));
  sqlite3_finalize(statement);
  return sum;
}

static int is_database(const char *argument) {
  size_t length = strlen(argument);
  return length > 3 && strcmp(argument + length - 3, ".db") == 0;
}

int main(int argc, char **argv) {
  sqlite3 *db = NULL;
  unsigned long long sum;
  int i;
  if (argc < 2) {
    fprintf(stderr, "usage: read_floor HIVE DATABASE TABLE... [DATABASE TABLE...]...\n");
    return 2;
  }
  sum = read_file(argv[1]);
  for (i = 2; i < argc; ++i) {
    if (is_database(argv[i])) {
      if (db != NULL) sqlite3_close(db);
      if (sqlite3_open_v2(argv[i], &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) fail(argv[i], sqlite3_errmsg(db));
    } else {
      if (db == NULL) fail("no database before table", argv[i]);
      sum += read_table(db, argv[i]);
    }
  }
  if (db != NULL) sqlite3_close(db);
  printf("%llu\n", sum);
  return 0;
}
