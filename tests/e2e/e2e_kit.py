"""What every end-to-end test needs: a package built with
tools/package/yvpackage.py, msiexec run in the build's own Wine prefix with a
verbose log, and the module's "Yelvin" lines read back from that log."""

import glob
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools", "package"))
import yvpackage  # noqa: E402

BUILD = None  # set by main() from --build
# The progress texts that the authoring kit adds to a package; the costing
# fails without them.
PROGRESS_TEXTS = dict(line.split("\t") for line in pathlib.Path(
    ROOT, "authoring", "Property.idt").read_text(encoding="utf-8").splitlines()[3:])
# msiexec's exit status for ERROR_INSTALL_FAILURE (1603): a Linux exit status
# keeps only the low byte.
INSTALL_FAILED = 1603 & 0xFF
# The verbose log's "Return value" of an action that succeeded. A failed
# action shows 3 on Windows; Wine's log shows 0 for every failure.
ACTION_SUCCEEDED = 1


# One msiexec run: its exit status and its verbose log.
class Run:
    def __init__(self, returncode, log):
        self.returncode = returncode
        self.log = log
        # "Yelvin 6:49:29: Installing ..." -> "Installing ..."
        self.lines = [line.split(": ", 1)[1] for line in log.splitlines()
                      if line.startswith("Yelvin ") and ": " in line]

    def action_results(self, action):
        # A deferred action ends twice in Wine's log: with success when it is
        # written into the script, then with its own result when it runs.
        return [int(line.rsplit(" ", 1)[1].rstrip(".")) for line in self.log.splitlines()
                if line.startswith("Action ended") and f": {action}. Return value" in line]

    def properties(self):
        # The closing dump of the verbose log; Wine's msi.dll writes no
        # "PROPERTY CHANGE" lines, so this is where a property set shows.
        return dict(line[len("Property(S): "):].split(" = ", 1) for line in self.log.splitlines()
                    if line.startswith("Property(S): ") and " = " in line)


# A folder of its own on the prefix's drive C (emptied when the test starts,
# kept after it for its logs); msiexec runs in the build's own Wine prefix.
class InstallTestCase(unittest.TestCase):
    def setUp(self):
        self.prefix = os.path.join(BUILD, "wineprefix")
        self.name = self.id().rsplit(".", 1)[1]
        self.folder = os.path.join(self.prefix, "drive_c", "yve2e", self.name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.installed = []
        self.temp_before = self.temp_files()

    def tearDown(self):
        for package, arguments in self.installed:  # no product left registered behind a failed test
            self.msiexec("/x", package, "cleanup", arguments)
        for leftover in self.temp_files() - self.temp_before:
            os.remove(leftover)

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def windows_path(self, *parts):
        return "C:\\yve2e\\" + "\\".join((self.name,) + parts)

    def write(self, relative, content):
        os.makedirs(os.path.dirname(self.path(relative)), exist_ok=True)
        pathlib.Path(self.path(relative)).write_bytes(content.encode("utf-8") if isinstance(content, str) else content)
        return self.path(relative)

    def read(self, *parts):
        return pathlib.Path(self.path(*parts)).read_bytes()

    # The package's Windows path; without the module it is a product as its
    # author has it before adding the module.
    def build_package(self, description, with_module=True, name="package"):
        description = dict(description, product=dict({"name": "YV E2E Product", "version": "1.2.3"},
                                                     **description.get("product", {}),
                                                     code="{%s}" % str(uuid.uuid4()).upper()))
        if with_module:
            description.update(module=os.path.join(BUILD, "bin", "YVXmlCfg.dll"),
                               properties=dict(PROGRESS_TEXTS, **description.get("properties", {})))
        yvpackage.build_package(description, self.path(name, "package.msi"))
        return self.windows_path(name, "package.msi")

    # Wine's msi.dll reports a page fault inside a custom action as success
    # and leaves its only trace on the err+msi debug channel, which msiexec
    # runs with: any "page fault" line fails the test.
    def wine(self, arguments, debug="-all"):
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG=debug, WINEDLLOVERRIDES="mscoree,mshtml=")
        # Files, not pipes: a Wine server that this run starts keeps them open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([os.path.join(BUILD, "wine-run")] + arguments, env=env, stdout=out, stderr=err,
                                  timeout=300).returncode
            stdout, stderr = (f.seek(0) or f.read().decode("utf-8", "replace") for f in (out, err))
        self.assertNotIn("page fault", stderr, f"a custom action crashed: {arguments}")
        self.assertNotIn("Unhandled exception", stderr, arguments)
        return code, stdout, stderr

    def msiexec(self, mode, package, log_name, arguments=()):
        log = self.windows_path(log_name + ".log")
        code = self.wine(["msiexec", mode, package, "/qn", "/l*v", log] + list(arguments), "-all,err+msi")[0]
        if code == 0 and mode == "/i":
            self.installed.append((package, arguments))
        elif code == 0:
            self.installed = [entry for entry in self.installed if entry[0] != package]
        raw = self.read(log_name + ".log")
        return Run(code, raw.decode("utf-16") if raw.startswith(b"\xff\xfe") else raw.decode("cp1252", "replace"))

    # By default the runtime data files in the installing user's temporary
    # folder and the backups in the elevated actions' private state folder.
    def temp_files(self, pattern="XML*.tmp"):
        return set(glob.glob(os.path.join(self.prefix, "drive_c", "users", "*", "Temp", pattern)) +
                   glob.glob(os.path.join(self.state_folder(), pattern)))

    def state_folder(self):
        return os.path.join(self.prefix, "drive_c", "ProgramData", "YVXmlCfg")


# Usage: <script> --build <build folder> [unittest arguments]
def main():
    global BUILD
    at = sys.argv.index("--build")
    BUILD = os.path.abspath(sys.argv[at + 1])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:at] + sys.argv[at + 2:])
