// Opened as a file rather than from a web server, browsers load neither the
// page's modules nor its worker. This plain script still runs: it says how
// to open the page instead.
'use strict';
if (location.protocol === 'file:') {
  document.getElementById('served-only').hidden = false;
  for (const picker of document.querySelectorAll('input[type=file]')) picker.disabled = true;
}
