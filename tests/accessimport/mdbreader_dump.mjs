// Prints what the npm package mdb-reader reads from an Access file, as JSON: for each user
// table its columns (name and type, in the file's order) and its rows. Dates are given as the
// milliseconds mdb-reader computes, so that the caller can judge them.
import MDBReader from "mdb-reader";
import { readFileSync } from "node:fs";

const reader = new MDBReader(readFileSync(process.argv[2]));
const tables = {};
for (const name of reader.getTableNames()) {
    const table = reader.getTable(name);
    const columns = table.getColumns().map((c) => ({ name: c.name, type: c.type }));
    const rows = table.getData().map((row) =>
        columns.map((c) => {
            const v = row[c.name];
            return v instanceof Date ? { date: v.getTime() } : v;
        })
    );
    tables[name] = { columns, rows };
}
process.stdout.write(JSON.stringify(tables));
