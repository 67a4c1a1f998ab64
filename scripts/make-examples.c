/* Writes the sample workbooks of examples/ (run by scripts/make-examples.sh).
 * Build: cc make-examples.c -lxlsxwriter -o make-examples */
#include <stdio.h>
#include <xlsxwriter.h>

static void sales(const char* dir) {
  char path[1024];
  snprintf(path, sizeof path, "%s/quarterly-sales.xlsx", dir);
  lxw_workbook* wb = workbook_new(path);
  const char* regions[] = {"North", "South", "East", "West"};
  const char* quarters[] = {"Q1 summary", "Q2 summary", "Q3 summary"};
  lxw_format* bold = workbook_add_format(wb);
  format_set_bold(bold);
  for (int q = 0; q < 3; ++q) {
    lxw_worksheet* ws = workbook_add_worksheet(wb, quarters[q]);
    worksheet_write_string(ws, 0, 0, quarters[q], bold);
    worksheet_write_string(ws, 1, 0, "Region", bold);
    worksheet_write_string(ws, 1, 1, "Units", bold);
    worksheet_write_string(ws, 1, 2, "Revenue", bold);
    for (int r = 0; r < 4; ++r) {
      worksheet_write_string(ws, 2 + r, 0, regions[r], NULL);
      worksheet_write_number(ws, 2 + r, 1, 100 + 37 * r + 11 * q, NULL);
      worksheet_write_formula(ws, 2 + r, 2, r == 0 ? "=B3*19.5" : r == 1 ? "=B4*19.5" : r == 2 ? "=B5*19.5" : "=B6*19.5", NULL);
    }
    worksheet_write_string(ws, 6, 0, "Total", bold);
    worksheet_write_formula(ws, 6, 2, "=SUM(C3:C6)", bold);
  }
  workbook_close(wb);
}

static void inventory(const char* dir) {
  char path[1024];
  snprintf(path, sizeof path, "%s/warehouse/inventory.xlsx", dir);
  lxw_workbook* wb = workbook_new(path);
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Stock");
  worksheet_write_string(ws, 0, 0, "Article", NULL);
  worksheet_write_string(ws, 0, 1, "Shelf", NULL);
  worksheet_write_string(ws, 0, 2, "Count", NULL);
  for (int r = 1; r <= 300; ++r) {
    char name[64];
    snprintf(name, sizeof name, "Article %04d", r);
    worksheet_write_string(ws, r, 0, name, NULL);
    worksheet_write_number(ws, r, 1, r % 40, NULL);
    worksheet_write_number(ws, r, 2, (r * 7919) % 500, NULL);
  }
  workbook_close(wb);
}

int main(int argc, char** argv) {
  const char* dir = argc > 1 ? argv[1] : "examples";
  sales(dir);
  inventory(dir);
  return 0;
}
