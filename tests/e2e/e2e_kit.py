"""What every end-to-end test needs: a package built with
tools/package/yvpackage.py, msiexec run in the build's own Wine prefix with a
verbose log, and the module's "Yelvin" lines read back from that log.

Wine's msi.dll reports a page fault inside a custom action as success and
leaves its only trace on the err+msi debug channel, so every run has that
channel on and any "page fault" line fails the test.

A test script imports this module, defines unittest cases on
InstallTestCase, and calls e2e_kit.main().
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools", "package"))
import yvpackage  # noqa: E402

BUILD = None  # set by main() from --build

PROGRESS_TEXTS = {
    "YV_PROGMSG_XML_COSTING": "Costing XML files",
    "YV_PROGMSG_XML_FILES": "Configuring XML files",
    "YV_PROGMSG_XML_CREATE_FILE": "Creating %s",
    "YV_PROGMSG_XML_UPDATE_FILE": "Updating %s",
    "YV_PROGMSG_XML_REMOVE_FILE": "Removing %s",
    "YV_PROGMSG_XML_ROLLBACK_FILES": "Rolling back XML files",
}

# What msiexec's exit status shows for ERROR_INSTALL_FAILURE (1603): a Linux
# exit status keeps only the low byte.
INSTALL_FAILED = 1603 & 0xFF
# The verbose log's "Return value" of an action that succeeded. A failed
# action shows 3 on Windows; Wine's log shows 0 for every failure.
ACTION_SUCCEEDED = 1


class Run:
    """One msiexec run: its exit status, its verbose log and Wine's
    stderr."""

    def __init__(self, returncode, log, stderr):
        self.returncode = returncode
        self.log = log
        self.stderr = stderr

    def yelvin_lines(self):
        # "Yelvin 6:49:29: Installing ..." -> "Installing ..."
        return [line.split(": ", 1)[1] for line in self.log.splitlines()
                if line.startswith("Yelvin ") and ": " in line]

    def action_result(self, action):
        for line in self.log.splitlines():
            if line.startswith("Action ended") and f": {action}. Return value" in line:
                return int(line.rsplit(" ", 1)[1].rstrip("."))
        return None


class InstallTestCase(unittest.TestCase):
    """A folder of its own on the prefix's drive C, and msiexec runs in the
    build's own Wine prefix."""

    def setUp(self):
        self.prefix = os.path.join(BUILD, "wineprefix")
        self.name = self.id().rsplit(".", 1)[1]
        self.folder = os.path.join(self.prefix, "drive_c", "yve2e", self.name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.installed = []

    def tearDown(self):
        # Leave no product registered behind a failed test.
        for package, arguments in self.installed:
            self.msiexec("/x", package, "cleanup", arguments)
        if not self._outcome_failed():
            shutil.rmtree(self.folder, ignore_errors=True)

    def _outcome_failed(self):
        outcome = getattr(self, "_outcome", None)
        result = getattr(outcome, "result", None)
        if result is None:
            return False
        return any(test is self for test, _ in result.failures + result.errors)

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def windows_path(self, *parts):
        return "C:\\yve2e\\" + "\\".join((self.name,) + parts)

    def write(self, relative, text):
        path = self.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        return path

    def build_package(self, description):
        description = dict(description)
        description.setdefault("product", {})
        description["product"].setdefault("name", "YV E2E Product")
        description["product"].setdefault("version", "1.2.3")
        description["product"]["code"] = "{" + str(uuid.uuid4()).upper() + "}"
        description["module"] = os.path.join(BUILD, "bin", "YVXmlCfg.dll")
        properties = dict(PROGRESS_TEXTS)
        properties.update(description.get("properties", {}))
        description["properties"] = properties
        yvpackage.build_package(description, self.path("package", "package.msi"))
        return self.windows_path("package", "package.msi")

    def msiexec(self, mode, package, log_name, arguments=()):
        log = self.windows_path(log_name + ".log")
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all,err+msi",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        completed = subprocess.run([os.path.join(BUILD, "wine-run"), "msiexec", mode, package, "/qn", "/l*v", log]
                                   + list(arguments), env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                   timeout=300)
        stderr = completed.stderr.decode("utf-8", "replace")
        self.assertNotIn("page fault", stderr, f"a custom action crashed during msiexec {mode}")
        self.assertNotIn("Unhandled exception", stderr)
        with open(self.path(log_name + ".log"), "rb") as f:
            raw = f.read()
        text = raw.decode("utf-16") if raw.startswith(b"\xff\xfe") else raw.decode("cp1252", "replace")
        return Run(completed.returncode, text, stderr)

    def install(self, package, arguments=(), log_name="install"):
        run = self.msiexec("/i", package, log_name, arguments)
        if run.returncode == 0:
            self.installed.append((package, arguments))
        return run

    def uninstall(self, package, arguments=(), log_name="uninstall"):
        run = self.msiexec("/x", package, log_name, arguments)
        if run.returncode == 0:
            self.installed = [entry for entry in self.installed if entry[0] != package]
        return run

    def runtime_data_files(self):
        return set(glob.glob(os.path.join(self.prefix, "drive_c", "users", "*", "Temp", "XML*.tmp")))

    @staticmethod
    def attribute_of(root, xpath, name):
        nodes = root.findall(xpath)
        return [node.get(name) for node in nodes]


def main():
    """Usage: <script> --build <build folder> [unittest arguments]"""
    global BUILD
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args, rest = parser.parse_known_args()
    BUILD = os.path.abspath(args.build)
    unittest.main(argv=[sys.argv[0], "-v"] + rest)
