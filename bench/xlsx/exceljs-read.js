// The same workbook read through exceljs's streaming reader, for comparison with
// bench_xlsx_read: every cell of every row visited, nothing kept.
//
//   npm install --prefix DIR exceljs
//   NODE_PATH=DIR/node_modules node bench/xlsx/exceljs-read.js FILE.xlsx
const ExcelJS = require('exceljs');

async function main() {
  const file = process.argv[2];
  const start = process.hrtime.bigint();
  const reader = new ExcelJS.stream.xlsx.WorkbookReader(file, {
    sharedStrings: 'cache', styles: 'cache', hyperlinks: 'ignore', worksheets: 'emit',
  });
  let rows = 0;
  let cells = 0;
  for await (const sheet of reader) {
    for await (const row of sheet) {
      ++rows;
      row.eachCell(() => { ++cells; });
    }
    break;  // the first sheet, as bench_xlsx_read reads
  }
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  console.log(`exceljs: ${rows} rows, ${cells} cells in ${seconds.toFixed(2)} s`);
}

main().catch((e) => { console.error(e); process.exit(1); });
