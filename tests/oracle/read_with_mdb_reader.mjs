// Dumps a .mdb file as the npm package mdb-reader sees it: tables, columns and rows.
//
//   node read_with_mdb_reader.mjs [--lines] [--system] FILE [TABLE...]
//
// Default output is one JSON document. With --lines the output is one record per
// line, tab-separated, meant for the C++ oracle tests:
//   T <name> <rowCount> <columnCount>
//   C <name> <type> <size> <fixed 0|1> <nullable 0|1> <autoLong 0|1> <precision> <scale>
//   R <value> <value> ...
//   E <message>                      (the table could not be read)
// Each value is "N" for null or a one-letter tag and its text:
//   b boolean (0|1), i integer, f float/double (shortest round-trip form, or
//   nan/inf/-inf), c currency (decimal string), n numeric (decimal string),
//   d date/time (days since 1899-12-30 as mdb-reader computes them), s text,
//   x binary/OLE (lowercase hex), g GUID.
// Text escapes backslash, tab, CR and LF as \\ \t \r \n.
// Jet 3 text is always decoded as cp1252 by mdb-reader, whatever the code page.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const args = process.argv.slice(2);
const lines = args.includes("--lines");
const system = args.includes("--system");
const positional = args.filter((a) => !a.startsWith("--"));
if (positional.length < 1) {
  process.stderr.write("usage: read_with_mdb_reader.mjs [--lines] [--system] FILE [TABLE...]\n");
  process.exit(2);
}
const [file, ...only] = positional;

const MS_PER_DAY = 86400000;
const UNIX_EPOCH_DAYS = 25569; // 1970-01-01 counted from 1899-12-30

function escapeText(s) {
  return s.replace(/[\\\t\r\n]/g, (ch) => ({ "\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n" })[ch]);
}

function numberText(x) {
  if (Number.isNaN(x)) return "nan";
  if (x === Infinity) return "inf";
  if (x === -Infinity) return "-inf";
  return String(x);
}

// [tag, text] for one value of the given column type.
function encode(type, v) {
  if (v === null || v === undefined) return ["N", ""];
  switch (type) {
    case "boolean":
      return ["b", v ? "1" : "0"];
    case "byte":
    case "integer":
    case "long":
      return ["i", String(v)];
    case "float":
    case "double":
      return ["f", numberText(v)];
    case "currency":
      return ["c", String(v)];
    case "numeric":
      return ["n", String(v)];
    case "datetime":
      return ["d", numberText(v.getTime() / MS_PER_DAY + UNIX_EPOCH_DAYS)];
    case "binary":
    case "ole":
      return ["x", Buffer.from(v).toString("hex")];
    case "repid":
      return ["g", String(v)];
    case "text":
    case "memo":
      return ["s", String(v)];
    default:
      return ["s", typeof v === "string" ? v : JSON.stringify(v)];
  }
}

function readTable(reader, name) {
  const table = reader.getTable(name);
  const columns = table.getColumns();
  const out = {
    name,
    rowCount: table.rowCount,
    columns: columns.map((c) => ({
      name: c.name,
      type: c.type,
      size: c.size,
      fixed: c.fixedLength,
      nullable: c.nullable,
      autoLong: c.autoLong,
      precision: c.precision ?? 0,
      scale: c.scale ?? 0,
    })),
    rows: [],
  };
  try {
    for (const row of table.getData()) {
      out.rows.push(columns.map((c) => encode(c.type, row[c.name])));
    }
  } catch (e) {
    out.error = String(e && e.message ? e.message : e);
  }
  return out;
}

let reader;
try {
  reader = new MDBReader(readFileSync(file));
} catch (e) {
  process.stderr.write(`mdb-reader cannot open ${file}: ${e && e.message ? e.message : e}\n`);
  process.exit(1);
}

const names = only.length > 0 ? only : reader.getTableNames({ normalTables: true, systemTables: system });
const tables = [];
for (const name of names) {
  try {
    tables.push(readTable(reader, name));
  } catch (e) {
    tables.push({ name, rowCount: 0, columns: [], rows: [], error: String(e && e.message ? e.message : e) });
  }
}

if (lines) {
  const parts = [];
  for (const t of tables) {
    parts.push(["T", escapeText(t.name), t.rowCount, t.columns.length].join("\t"));
    for (const c of t.columns) {
      parts.push(
        ["C", escapeText(c.name), c.type, c.size, +c.fixed, +c.nullable, +c.autoLong, c.precision, c.scale].join("\t"),
      );
    }
    for (const r of t.rows) {
      parts.push(["R", ...r.map(([tag, text]) => tag + escapeText(text))].join("\t"));
    }
    if (t.error !== undefined) parts.push(["E", escapeText(t.error)].join("\t"));
  }
  process.stdout.write(parts.join("\n") + (parts.length ? "\n" : ""));
} else {
  const json = tables.map((t) => ({
    ...t,
    rows: t.rows.map((r) => r.map(([tag, text]) => (tag === "N" ? null : { [tag]: text }))),
  }));
  process.stdout.write(JSON.stringify({ file, tables: json }, null, 1) + "\n");
}
