#!/usr/bin/env bash
# Regenerates the wizard screenshots in docs/ from the wizard tests, which
# draw the real window offscreen (English and German, before and after a run).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
cmake --build "$build" --target wizard_test -j"${QB_JOBS:-2}" >/dev/null
shots="$build/screenshots"
rm -rf "$shots"
QT_QPA_PLATFORM=offscreen "$build/out/wizard_test" \
  --gtest_filter='WizardTest.ScreenshotsOfEveryPage:RunTest.RunButtonExportsAndCompilesTheBranch:WizardLayoutTest.NoControlIsClipped*' \
  >/dev/null
cp "$shots/page-0.png" "$root/docs/wizard-page-0.png"
cp "$shots/page-6-after-run.png" "$root/docs/wizard-page-6.png"
cp "$shots/layout-page-4.png" "$root/docs/wizard-page-4.png"
cp "$shots/layout-page-4-de.png" "$root/docs/wizard-page-4-de.png"
cp "$shots/layout-page-2-de.png" "$root/docs/wizard-page-2-de.png"
cp "$shots/layout-page-5.png" "$root/docs/wizard-page-5.png"
echo "screenshots written to $root/docs/"
