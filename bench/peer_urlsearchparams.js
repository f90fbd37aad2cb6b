// bench_cli's peer: the form in FILE decoded by Node's URLSearchParams, written
// as "name :: value" fields.
const fs = require("fs");
const fields = [];
for (const [name, value] of new URLSearchParams(fs.readFileSync(process.argv[2], "latin1")))
    fields.push(name + " :: " + value);
fs.writeFileSync(1, fields.join("\r\n\r\n"));
