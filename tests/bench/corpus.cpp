// Writes the conversion benchmark's workbooks into a folder: mostly small
// books of one to three sheets, some of about twenty pages, a few of 20,000
// rows. Prints one line per book, "<half>\t<kind>\t<path>", where the halves
// share every kind evenly (for two parallel converters of the same files).
//
//   tabrix_bench_corpus <folder> [small] [medium] [large]   (176 20 4)

#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Book {
  lxw_workbook* wb;
  lxw_format* bold;
  lxw_format* money;
  explicit Book(const std::string& path) : wb(workbook_new(path.c_str())) {
    if (!wb) return;
    bold = workbook_add_format(wb);
    format_set_bold(bold);
    money = workbook_add_format(wb);
    format_set_num_format(money, "#,##0.00");
  }
  bool Close() { return wb && workbook_close(wb) == LXW_NO_ERROR; }
};

const char* const kRegions[] = {"North", "South", "East", "West", "Central", "Overseas"};

// A header row, then `rows` rows of text, numbers and formulas in six columns.
void Table(Book& book, lxw_worksheet* ws, int rows, int seed) {
  const char* const heads[] = {"Region", "Item", "Units", "Price", "Revenue", "Share"};
  for (int c = 0; c < 6; ++c) worksheet_write_string(ws, 0, c, heads[c], book.bold);
  worksheet_set_column(ws, 0, 1, 14, nullptr);
  char text[64], formula[64];
  for (int r = 1; r <= rows; ++r) {
    worksheet_write_string(ws, r, 0, kRegions[(r + seed) % 6], nullptr);
    std::snprintf(text, sizeof text, "Article %05d", (r * 7919 + seed) % 100000);
    worksheet_write_string(ws, r, 1, text, nullptr);
    worksheet_write_number(ws, r, 2, (r * 37 + seed) % 500, nullptr);
    worksheet_write_number(ws, r, 3, ((r * 13 + seed) % 9000) / 100.0, book.money);
    std::snprintf(formula, sizeof formula, "=C%d*D%d", r + 1, r + 1);
    worksheet_write_formula(ws, r, 4, formula, book.money);
    std::snprintf(formula, sizeof formula, "=E%d/1000", r + 1);
    worksheet_write_formula(ws, r, 5, formula, nullptr);
  }
}

bool Small(const std::string& path, int n) {
  Book book(path);
  if (!book.wb) return false;
  const int sheets = 1 + n % 3;
  for (int s = 0; s < sheets; ++s) {
    char name[32];
    std::snprintf(name, sizeof name, "Sheet %d", s + 1);
    lxw_worksheet* ws = workbook_add_worksheet(book.wb, name);
    Table(book, ws, 10 + (n * 7 + s * 11) % 40, n + s);
  }
  return book.Close();
}

bool Rows(const std::string& path, int rows, int n) {
  Book book(path);
  if (!book.wb) return false;
  Table(book, workbook_add_worksheet(book.wb, "Data"), rows, n);
  return book.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [small] [medium] [large]\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const int counts[3] = {argc > 2 ? std::atoi(argv[2]) : 176, argc > 3 ? std::atoi(argv[3]) : 20,
                         argc > 4 ? std::atoi(argv[4]) : 4};
  const char* const kinds[3] = {"small", "medium", "large"};
  int index = 0;
  for (int kind = 0; kind < 3; ++kind) {
    for (int i = 0; i < counts[kind]; ++i, ++index) {
      char name[64];
      std::snprintf(name, sizeof name, "/%s-%03d.xlsx", kinds[kind], i + 1);
      const std::string path = folder + name;
      // About 50 rows fill one printed page.
      const bool ok = kind == 0 ? Small(path, i) : Rows(path, kind == 1 ? 1000 : 20000, i);
      if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
      }
      std::printf("%d\t%s\t%s\n", 1 + i % 2, kinds[kind], path.c_str());
    }
  }
  return 0;
}
