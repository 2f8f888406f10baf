// make_messages.js <README.md> <messages.js>: takes the message tables of
// the README's "Messages" section (a message in backticks, then what it
// means) into a script that gives the page `cuesmeltMessages`, a list of
// [message, meaning] pairs. A README without such rows fails the build.
'use strict';
const fs = require('fs');

const [readmePath, outputPath] = process.argv.slice(2);
const readme = fs.readFileSync(readmePath, 'utf8');
const section = readme.split(/^## /m).find((part) => part.startsWith('Messages\n'));
if (!section) throw new Error(`${readmePath}: no "## Messages" section`);

// | `message` (maybe more words) | what it means |
const row = /^\| `([^`]+)`[^|]* \| (.+) \|$/;
const messages = section
  .split('\n')
  .map((line) => row.exec(line))
  .filter(Boolean)
  .map((match) => [match[1], match[2]]);
if (messages.length === 0) throw new Error(`${readmePath}: no message rows under "## Messages"`);

fs.writeFileSync(
  outputPath,
  `// Made by make_messages.js from README.md: each message and what it means.\n` +
    `const cuesmeltMessages = [\n${messages.map((m) => ` ${JSON.stringify(m)}`).join(',\n')},\n];\n`,
);
