# Reads a spreadsheet with xlrd and prints each cell as "row<TAB>col<TAB>type<TAB>value<TAB>bold".
import sys
try:
    import xlrd
except ImportError:
    sys.exit(77)
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheet = book.sheet_by_index(0)
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_EMPTY:
            continue
        kind = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_BLANK: "blank"}.get(cell.ctype, str(cell.ctype))
        xf = book.xf_list[cell.xf_index]
        bold = book.font_list[xf.font_index].bold
        value = cell.value if kind != "number" else repr(float(cell.value))
        sys.stdout.write("%d\t%d\t%s\t%s\t%d\n" % (r, c, kind, value, 1 if bold else 0))
