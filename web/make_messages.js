// make_messages.js <doc/messages.md> <messages.js>: takes the message tables
// of doc/messages.md (rows of: the message in backticks, what it means, what
// to do) into a module whose default export is a list of
// [message, explanation] pairs. The explanation is what the message means,
// then "What to do:" and the advice, without its final full stop, which the
// page adds. A row naming several messages gives each of them the row's
// explanation. The rows of the section "In the web page" say it for the
// browser: they take the place of the others' for their messages. A file
// without such rows fails the build.
'use strict';
const fs = require('fs');

const [messagesPath, outputPath] = process.argv.slice(2);
const text = fs.readFileSync(messagesPath, 'utf8');

// | `message`[, `message`...] | what it means | what to do |
const row = /^\| (`[^|]+`) \| ([^|]+) \| ([^|]+) \|$/;
const messages = new Map();
const forThePage = new Map();
let section = '';
for (const line of text.split('\n')) {
  if (line.startsWith('## ')) section = line.slice(3);
  const match = row.exec(line);
  if (!match) continue;
  const [, quoted, meaning, advice] = match;
  const explanation = `${meaning} What to do: ${advice.replace(/\.$/, '')}`;
  const into = section === 'In the web page' ? forThePage : messages;
  for (const [, message] of quoted.matchAll(/`([^`]+)`/g)) into.set(message, explanation);
}
if (messages.size === 0) throw new Error(`${messagesPath}: no rows of message, meaning and what to do`);
for (const message of forThePage.keys()) {
  if (!messages.has(message)) throw new Error(`${messagesPath}: "In the web page" explains ${message}, which no table has`);
}

fs.writeFileSync(
  outputPath,
  `// Made by make_messages.js from doc/messages.md: each message, what it means and what to do.\n` +
    `export default [\n${[...new Map([...messages, ...forThePage])].map((m) => ` ${JSON.stringify(m)}`).join(',\n')},\n];\n`,
);
