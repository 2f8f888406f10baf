#!/usr/bin/env bash
# check_web.sh: the web page, built and tried in every browser engine CI
# has. Builds the native sample disc (the reference) and the "web" presets,
# installs the drivers (playwright-core, puppeteer-core, selenium-webdriver)
# and axe-core from tests/web's lockfile, and runs tests/web/web_test.js once
# per engine: chromium, firefox-esr and WebKitGTK's MiniBrowser, the site
# served on 127.0.0.1 at a free port under /cuesmelt/, every case's image and
# messages compared with the native program's as a terminal shows it, and
# the page's own controls tried (Cancel, Remove, Save as, saving into a
# folder, downloads one by one, the summary, Clear finished, BIN files that
# change after picking, the focus, what a screen reader hears, axe-core's
# checks, the room check, offline and an update, where the engine has what
# they need; doc/web.md lists them). Then packs the site as doc/web.md says and checks that the zip
# holds it, with README.md, LICENSE and the pages README links to. Prints
# how long it all took.
source "$(dirname "$0")/check_common.sh"
started=$SECONDS

build_reference_sample

npm ci --prefix web --no-audit --no-fund
cmake --preset web >/dev/null
cmake --build --preset web

npm ci --prefix tests/web --no-audit --no-fund
failed=()
for engine in chromium firefox webkit; do
  echo "== web tests in $engine"
  engine_started=$SECONDS
  CUESMELT_WEB_ENGINES=$engine node --test tests/web/web_test.js || failed+=("$engine")
  echo "$engine: $((SECONDS - engine_started)) s"
done
[ ${#failed[@]} -eq 0 ] || fail "the web tests failed in: ${failed[*]}"

rm -rf build-web/packages
cpack --config build-web/CPackConfig.cmake >/dev/null
version=$(project_version build-web)
top=cuesmelt-$version-web
zip=build-web/packages/$top.zip
[ -f "$zip" ] || fail "no $zip"
unzip -q "$zip" -d "$work"
[ "$(ls "$work")" = "$top" ] || fail "$zip does not hold one folder $top: $(ls "$work")"
check_documents "$work/$top"
documents | (cd "$work/$top" && xargs rm && rmdir doc)
diff -r "$work/$top" build-web/site || fail "$zip does not hold build-web/site as it is"
echo "$zip holds the site and the documents, their links leading somewhere"

echo "web step: $((SECONDS - started)) s"
