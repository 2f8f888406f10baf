// make_service_worker.js <template> <site> <project version> <output> <file>...:
// writes the service worker from its template, with the site's files to
// keep for offline use and a version that names this build: the project's
// version and the start of a SHA-256 over the files, so that any change to
// any of them makes a new service worker, which then replaces every file.
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');

const [template, site, projectVersion, output, ...files] = process.argv.slice(2);
const hash = crypto.createHash('sha256');
for (const file of files) {
  hash.update(`${file}\0`);
  hash.update(fs.readFileSync(path.join(site, file)));
}
const version = `${projectVersion}-${hash.digest('hex').slice(0, 12)}`;
// './' is the address that the page is opened at; index.html answers it.
const siteFiles = ['./', ...files];
const text = fs.readFileSync(template, 'utf8')
  .replace("'@VERSION@'", JSON.stringify(version).replace(/"/g, "'"))
  .replace("['@SITE_FILES@']", JSON.stringify(siteFiles).replace(/"/g, "'").replace(/,/g, ', '));
if (text.includes('@VERSION@') || text.includes('@SITE_FILES@')) throw new Error(`${template}: placeholders left`);
fs.writeFileSync(output, text);
