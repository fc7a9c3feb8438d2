#!/usr/bin/env bash
# The demo installation. On a fresh Debian machine it installs what it needs,
# builds the module, builds the demo package from examples/ and runs three
# real installations with `wine msiexec` in a Wine prefix of its own:
#
#   1. install:   each XML file before and after as a unified diff, and the
#                 module's "Yelvin" lines from the verbose log;
#   2. uninstall: the changed files are back to their original bytes and the
#                 file the installation created is gone;
#   3. a failing installation (an error action after YVXmlInstall): rollback
#                 puts every byte back and removes the created file.
#
# Every claim is checked; the last line sums up the checks and the exit status
# is non-zero when any of them failed. Set YV_DEMO_BUILD_DIR to build
# somewhere else than build-demo/.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${YV_DEMO_BUILD_DIR:-$root/build-demo}"
examples="$root/examples"
started=$SECONDS

bash "$root/tools/setup-debian.sh" || exit 1

echo "== Building YVXmlCfg.dll in $build"
mkdir -p "$build"
# The "demo" preset of CMakePresets.json: the cross build, Release, without
# the test programs.
if ! { cmake -S "$root" --preset demo -B "$build" &&
       cmake --build "$build" --target YVXmlCfg -j"$(nproc)"; } >"$build/demo-build.log" 2>&1; then
  tail -40 "$build/demo-build.log"
  echo "Demo: the module did not build (see $build/demo-build.log)"
  exit 1
fi
module="$build/bin/YVXmlCfg.dll"

# The demo's own Wine prefix and a runner for it (the test runner's template,
# pointed at this prefix).
prefix="$build/wineprefix"
runner="$build/demo-wine-run"
sed "s|@YV_WINEPREFIX@|$prefix|" "$root/tools/wine-run.sh.in" >"$runner"
chmod +x "$runner"
trap '"$runner" --end-session' EXIT

app="$prefix/drive_c/DemoApp"
# The runtime data files in the temporary folder, and the backups and state
# in the module's private state folder.
temp_glob() {
  compgen -G "$prefix/drive_c/users/*/Temp/XML*.[tT][mM][pP]" || true
  compgen -G "$prefix/drive_c/ProgramData/YVXmlCfg/*" || true
}
windows_path() { local p="$1"; echo "Z:${p//\//\\}"; }

checks=0
failures=0
check() {
  local what="$1"
  shift
  checks=$((checks + 1))
  if "$@" >/dev/null 2>&1; then
    echo "   ok: $what"
  else
    echo "   FAILED: $what"
    failures=$((failures + 1))
  fi
}
same_bytes() { cmp -s "$examples/app/$1" "$app/$1"; }
has_text() { grep -qF -- "$2" "$app/$1"; }
absent() { [ ! -e "$app/$1" ]; }
no_page_fault() { ! grep -q "page fault" "$1"; }

# msiexec MODE PACKAGE NAME [PROPERTY=VALUE...]: runs one installation with a
# verbose log, keeps its exit status in $status and the log as
# $build/demo-logs/NAME.log. err+msi is on because Wine reports a crash inside
# a custom action only there.
msiexec() {
  local mode="$1" package="$2" name="$3"
  shift 3
  mkdir -p "$build/demo-logs"
  local log="$build/demo-logs/$name.log"
  rm -f "$log"
  WINEDEBUG=-all,err+msi "$runner" msiexec "$mode" "$(windows_path "$package")" /qn /l*v "$(windows_path "$log")" \
    "$@" >/dev/null 2>"$build/demo-logs/$name.stderr"
  status=$?
}

# The module's lines of a verbose log (Wine writes it as UTF-16 or as ANSI).
yelvin_lines() {
  python3 - "$1" <<'EOF'
import sys
raw = open(sys.argv[1], "rb").read()
text = raw.decode("utf-16") if raw.startswith(b"\xff\xfe") else raw.decode("cp1252", "replace")
for line in text.splitlines():
    if line.startswith("Yelvin"):
        print("   " + line)
EOF
}

# build_package OUTPUT [failing]: the demo package from examples/, with the
# module of this build; "failing" adds a deferred error action (type 19 in
# the install script) right after YVXmlInstall.
build_package() {
  python3 - "$root" "$examples/demo-package.json" "$module" "$1" "${2:-}" <<'EOF'
import json, os, sys
root, description_path, module, output, failing = sys.argv[1:]
sys.path.insert(0, os.path.join(root, "tools", "package"))
import yvpackage
with open(description_path, encoding="utf-8") as f:
    description = json.load(f)
description["module"] = module
if failing:
    description["extra_actions"] = [{
        "action": "DemoForcedFailure", "type": 19 + 1024, "source": None,
        "target": "The demo stops this installation after the XML changes to show the rollback.",
        "sequence": 4004}]
yvpackage.build_package(description, output)
EOF
}

echo "== Preparing the Wine prefix $prefix"
"$runner" --start-session
# A demo run that was interrupted may have left the product installed.
if [ -d "$prefix/drive_c/windows/Installer" ]; then
  "$runner" msiexec /x "{6B0C3E52-1D7A-4F0B-9C55-2E8A41D7F3A1}" /qn >/dev/null 2>&1 || true
fi
rm -rf "$app"
mkdir -p "$app"
cp "$examples/app/app.config" "$examples/app/web.config" "$examples/app/pom.xml" "$app/"
rm -f $(temp_glob)
echo "   the application is deployed in C:\\DemoApp: app.config, web.config, pom.xml (no settings.xml yet)"

echo "== Building the demo packages from examples/demo-package.json"
package="$build/demo-package/demo.msi"
failing_package="$build/demo-failing/demo.msi"
build_package "$package" >/dev/null || { echo "Demo: the package could not be built"; exit 1; }
build_package "$failing_package" failing >/dev/null || { echo "Demo: the package could not be built"; exit 1; }

echo
echo "== 1. Install: msiexec /i demo.msi /qn /l*v install.log"
msiexec /i "$package" install
echo "   msiexec exit status: $status"
for f in app.config web.config pom.xml; do
  echo
  diff -u --label "before/$f" --label "after/$f" "$examples/app/$f" "$app/$f" | sed 's/\r$//'
done
echo
diff -u --label "before/settings.xml (missing)" --label "after/settings.xml" /dev/null "$app/settings.xml" 2>/dev/null |
  sed 's/\r$//'
echo
echo "   The module's lines in install.log:"
yelvin_lines "$build/demo-logs/install.log"
echo
check "the installation succeeded" test "$status" -eq 0
check "no custom action crashed" no_page_fault "$build/demo-logs/install.stderr"
check "app.config: Environment is Production, CacheSeconds removed, InstallDir added" \
  bash -c "grep -qF 'value=\"Production\"' '$app/app.config' && ! grep -qF CacheSeconds '$app/app.config' &&
           grep -qF 'key=\"InstallDir\"' '$app/app.config'"
check "web.config: only the top-level <compilation> lost debug, the api location allows 16384 KB, a health location exists" \
  bash -c "grep -qF 'debug=\"false\"' '$app/web.config' && grep -qF 'maxRequestLength=\"16384\"' '$app/web.config' &&
           grep -qF 'location path=\"health\"' '$app/web.config'"
check "pom.xml: new elements in the POM namespace, no prefix in the file" \
  bash -c "grep -qF '<demo.installDir>C:\\DemoApp\\</demo.installDir>' '$app/pom.xml' && ! grep -q '<m:' '$app/pom.xml'"
check "settings.xml was created with its elements" has_text settings.xml 'url="https://demo.example.com/api"'
check "the verbose log has the module's lines" grep -qa "Installing 3 XML component" \
  <(yelvin_lines "$build/demo-logs/install.log")
check "commit left no backup, state or runtime data file behind" test -z "$(temp_glob)"

echo
echo "== 2. Uninstall: msiexec /x demo.msi /qn /l*v uninstall.log"
msiexec /x "$package" uninstall
echo "   msiexec exit status: $status"
yelvin_lines "$build/demo-logs/uninstall.log" | grep -E "Uninstalling|UnInstalling|Removing"
for f in app.config web.config pom.xml; do
  cmp "$examples/app/$f" "$app/$f" >/dev/null 2>&1 && echo "   $f: identical to the original, byte for byte"
done
echo
check "the uninstallation succeeded" test "$status" -eq 0
check "no custom action crashed" no_page_fault "$build/demo-logs/uninstall.stderr"
for f in app.config web.config pom.xml; do
  check "$f is byte for byte the original again" same_bytes "$f"
done
check "settings.xml was removed" absent settings.xml

echo
echo "== 3. A failing installation: an error action runs right after YVXmlInstall"
msiexec /i "$failing_package" failing
echo "   msiexec exit status: $status (1603, installation failed, shows as $((1603 & 255)))"
yelvin_lines "$build/demo-logs/failing.log" | grep -E "Rolling back|Temp XML file"
echo
check "the installation failed" test "$status" -eq $((1603 & 255))
check "the XML changes had been made before the failure" grep -qa "Saving XML file" \
  <(yelvin_lines "$build/demo-logs/failing.log")
check "no custom action crashed" no_page_fault "$build/demo-logs/failing.stderr"
for f in app.config web.config pom.xml; do
  check "rollback: $f is byte for byte the original" same_bytes "$f"
done
check "rollback: settings.xml, created by the installation, is gone" absent settings.xml
check "rollback left no backup, state or runtime data file behind" test -z "$(temp_glob)"

echo
if [ "$failures" -eq 0 ]; then
  echo "Demo: all $checks checks passed in $((SECONDS - started)) s (install changed 3 files and created 1," \
    "uninstall and rollback restored every byte and removed the created file)"
else
  echo "Demo: $failures of $checks checks FAILED (logs in $build/demo-logs)"
  exit 1
fi
