#!/usr/bin/env node
// Reads every row of every user table of an Access file with the mdb-reader library, a
// chunk of rows at a time so that files of hundreds of megabytes fit in memory, and
// prints per table the rows read, the row count the table definition records, and a
// SHA-256 of its text and memo values (see check-large-mdb.py), as JSON.
//
//   MDB_READER_DIR=DIR node read-large-mdb.mjs FILE.mdb
import { readFileSync } from "node:fs";
import { createHash } from "node:crypto";
import { createRequire } from "node:module";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

const libDir = process.env.MDB_READER_DIR;
if (!libDir || process.argv.length !== 3) {
  console.error("usage: MDB_READER_DIR=DIR node read-large-mdb.mjs FILE.mdb");
  process.exit(2);
}
const entry = createRequire(join(libDir, "package.json")).resolve("mdb-reader");
const MDBReader = (await import(pathToFileURL(entry).href)).default;

const CHUNK = 50000;
const reader = new MDBReader(readFileSync(process.argv[2]));
const tables = {};
for (const name of reader.getTableNames()) {
  const table = reader.getTable(name);
  const columns = table
    .getColumns()
    .filter((c) => c.type === "text" || c.type === "memo")
    .map((c) => c.name);
  const hash = createHash("sha256");
  let rows = 0;
  for (let offset = 0; ; offset += CHUNK) {
    const data = table.getData({ rowOffset: offset, rowLimit: CHUNK, columns });
    for (const row of data) {
      hash.update(columns.map((c) => row[c] ?? "").join("\x1f") + "\x1e");
    }
    rows += data.length;
    if (data.length < CHUNK) break;
  }
  tables[name] = { rows, rowCount: table.rowCount, columns, sha256: hash.digest("hex") };
}
console.log(JSON.stringify({ tables }));
