#!/usr/bin/env python3
"""The installing user turned attacker. On Windows the module's deferred
actions run as the local system while the runtime data file sits in the
user's temporary folder: whatever the user writes there or plants as a link
must not make them touch a file the package does not name."""

import glob
import os
import shutil

import e2e_kit
from e2e_kit import INSTALL_FAILED, PROGRESS_TEXTS, InstallTestCase

FAIL = {"action": "FailAfterXml", "type": 19 + 1024, "target": "Stopped after the XML changes", "sequence": 4005}
ORIGINAL = b"<configuration>\r\n  <item name='a'/>\r\n</configuration>\r\n"
TAMPERED = "Runtime data file '%s' is not what costing wrote; it was changed after costing. Nothing was changed"
SECRET, MASK = "Pa55-w0rd!", "**********"


# A runtime data file as an attacker writes it: files[key] = dict of the
# file section's keys, each with one XPath that sets value= on install.
def runtime_data(files, action_state=3):
    lines = ["[Components]", "Count=1", "c1=Comp", "", "[Comp]", f"ActionState={action_state}",
             f"Count={len(files)}"] + [f"f{i}={key}" for i, key in enumerate(files, 1)] + [""]
    for i, (key, values) in enumerate(files.items(), 1):
        section = dict({"Attributes": 1, "CreatedOnInstall": 0, "Encoding": "UTF-8", "FileAttributes": -1,
                        "RootElementName": "configuration", "SelectionNamespaces": "", "TempFilePath": "",
                        "UninstPath": "", "Count": 1, "xp1": f"XPath_{i}"}, **values)
        lines += [f"[{key}]"] + [f"{k}={v}" for k, v in sorted(section.items())] + [""]
        lines += [f"[XPath_{i}]", "Action=1", 'Content=""', "Count=1", "XPath=//item", f"a1=XPathAttrib_{i}", "",
                  f"[XPathAttrib_{i}]", "Action=5", "Name=value", 'Value="attacker-controlled"', ""]
    lines += ["[ProgressMessages]"] + [f"{k}={v}" for k, v in sorted(PROGRESS_TEXTS.items())]
    return ("\ufeff" + "\r\n".join(lines) + "\r\n").encode("utf-16-le")


class Security(InstallTestCase):
    def setUp(self):
        super().setUp()
        shutil.copyfile(os.path.join(e2e_kit.BUILD, "bin", "yvattacker.exe"), self.path("yvattacker.exe"))
        self.write("existing/first.config", ORIGINAL)
        self.write("victim/victim.xml", ORIGINAL)
        self.write("victim/program.dll", b"MZ the victim's program")
        self.write("victim/doomed.xml", ORIGINAL)
        self.write("attacker/evil.bin", b"MZ the attacker's program")

    # A package that changes existing\first.config, with the attacker's
    # action replacing the runtime data file with `replacement` at
    # `sequence` (1002: right after costing; 4004: deferred, after the
    # install action ran).
    def install(self, replacement=None, sequence=1002, files=None, extra=()):
        actions = list(extra)
        if replacement is not None:
            self.write("attacker/runtime.ini", replacement)
            actions.append({"action": "Attack", "type": 50 + (1024 if sequence > 4000 else 0), "source": "ATTACKER",
                            "target": '"[YVXmlInstall]" "%s"' % self.windows_path("attacker", "runtime.ini"),
                            "sequence": sequence})
        package = self.build_package({
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\",
                           "ATTACKER": self.windows_path("yvattacker.exe")},
            "components": [{"id": "Comp", "directory": "TARGETDIR"}],
            "xml_files": [[k, n, "Comp", "EXISTINGDIR", flags, "", "UTF-8"]
                          for k, n, flags in (files or [["First", "first.config", 0]])],
            "xml_elements": [["Root", (files or [["First"]])[0][0], None, "configuration", None, 0],
                             ["Item", (files or [["First"]])[0][0], "Root", "item", None, 0]],
            "xml_attributes": [["Value", "Item", "value", "package", 0x1 | 0x4]],
            "extra_actions": actions})
        return self.msiexec("/i", package, "install", ["TARGETDIR=" + self.windows_path("target") + "\\"])

    def snapshot(self):
        return {path: open(path, "rb").read() for path in glob.glob(self.path("**"), recursive=True)
                if os.path.isfile(path) and not path.endswith(".log") and "package" not in path}

    def test_a_runtime_data_file_replaced_after_costing_fails_the_install_before_anything_changes(self):
        victim = self.windows_path("victim") + "\\"
        attacks = {
            # Entries pointed at files and folders the package never names.
            "redirect": runtime_data({"Victim": {"Path": victim, "FileName": "victim.xml"},
                                      "Planted": {"Path": self.windows_path("attacker") + "\\",
                                                  "FileName": "planted.xml"}}),
            # A rollback that would copy the attacker's file over a program,
            # delete a file and copy a protected file out to the attacker.
            "rollback": runtime_data({"Program": {"Path": victim, "FileName": "program.dll",
                                                  "TempFilePath": self.windows_path("attacker", "evil.bin")},
                                      "Doomed": {"Path": victim, "FileName": "doomed.xml", "CreatedOnInstall": 1},
                                      "Stolen": {"Path": self.windows_path("attacker") + "\\", "FileName": "copy.xml",
                                                 "TempFilePath": self.windows_path("victim", "victim.xml")}},
                                     action_state=-1),
            # A commit that would delete a file as if it were a backup.
            "commit": runtime_data({"First": {"Path": self.windows_path("existing") + "\\",
                                              "FileName": "first.config",
                                              "TempFilePath": self.windows_path("victim", "victim.xml")}}),
        }
        for name, replacement in attacks.items():
            with self.subTest(name):
                before = self.snapshot()
                run = self.install(replacement, extra=[FAIL] if name == "rollback" else ())
                self.assertEqual(run.returncode, INSTALL_FAILED, run.log[-3000:])
                runtime_file = run.properties()["YVXmlInstall"].split("|")[0]
                self.assertIn(TAMPERED % runtime_file, run.lines)
                self.assertFalse([line for line in run.lines if line.startswith("Installing XML file")])
                after = self.snapshot()
                after.pop(self.path("attacker", "runtime.ini"))
                before.pop(self.path("attacker", "runtime.ini"), None)
                self.assertEqual(after, before, "a file was changed, created or deleted")

    def test_a_runtime_data_file_replaced_after_the_install_action_leaves_the_rollback_to_its_own_backups(self):
        replacement = runtime_data({"First": {"Path": self.windows_path("existing") + "\\",
                                              "FileName": "first.config",
                                              "TempFilePath": self.windows_path("attacker", "evil.bin")},
                                    "Doomed": {"Path": self.windows_path("victim") + "\\", "FileName": "doomed.xml",
                                               "CreatedOnInstall": 1}}, action_state=-1)
        victims = {n: self.read("victim", n) for n in os.listdir(self.path("victim"))}
        run = self.install(replacement, sequence=4004, extra=[FAIL])
        self.assertEqual(run.returncode, INSTALL_FAILED, run.log[-3000:])
        self.assertIn("Saving XML file '%s'" % self.windows_path("existing", "first.config"), run.lines)
        self.assertEqual(self.read("existing", "first.config"), ORIGINAL)
        self.assertEqual({n: self.read("victim", n) for n in os.listdir(self.path("victim"))}, victims)

    def test_an_xml_file_reached_through_a_link_is_never_changed(self):
        # Wine shows Unix symbolic links to Windows code as the files they
        # point at; the module finds them by the path the system reached.
        os.remove(self.path("existing", "first.config"))
        os.symlink(self.path("victim", "victim.xml"), self.path("existing", "first.config"))
        os.symlink(self.path("victim"), self.path("existing", "linked"))
        for files in ([["First", "first.config", 0]], [["Made", "linked\\made.xml", 0x1]]):
            with self.subTest(files[0][1]):
                before = self.snapshot()
                run = self.install(files=files)
                self.assertEqual(run.returncode, INSTALL_FAILED, run.log[-3000:])
                target = self.windows_path("existing", files[0][1])
                self.assertIn(f"XML file '{target}' is reached through a symbolic link or junction; an elevated "
                              "action does not follow it", run.lines)
                self.assertEqual(self.snapshot(), before)

    # Windows Installer masks these values in its own property dump; Wine's
    # writes them, and that line is the only one allowed to hold the value.
    def test_a_hidden_property_value_stays_out_of_every_log_but_reaches_the_file(self):
        package = self.build_package({
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\", "MsiHiddenProperties": "X;DBPASS"},
            "components": [{"id": "Comp", "directory": "TARGETDIR"}],
            "xml_files": [["First", "first.config", "Comp", "EXISTINGDIR", 0, "", "UTF-8"]],
            "xml_elements": [["Root", "First", None, "configuration", None, 0],
                             ["Db", "First", "Root", "db", "pw=[DBPASS]", 0x1 | 0x10]],
            "xml_attributes": [["Conn", "Db", "connection", "Server=db1;Password=[DBPASS]", 0x1 | 0x4],
                               ["ConnOff", "Db", "connection", "none", 0x2]],
            "extra_actions": [dict(FAIL, condition="FAIL_NOW")]})
        arguments = ["TARGETDIR=" + self.windows_path("target") + "\\", "DBPASS=" + SECRET]
        runs = {"install": self.msiexec("/i", package, "install", arguments)}
        installed = self.read("existing", "first.config").decode()
        runs["uninstall"] = self.msiexec("/x", package, "uninstall", arguments)
        uninstalled = self.read("existing", "first.config")
        runs["rollback"] = self.msiexec("/i", package, "rollback", arguments + ["FAIL_NOW=1"])
        self.assertEqual([run.returncode for run in runs.values()], [0, 0, INSTALL_FAILED])
        self.assertEqual((installed.count(SECRET), self.read("existing", "first.config")), (2, uninstalled), installed)
        self.write("staging/first.config", ORIGINAL)
        code, output, _ = self.wine([os.path.join(e2e_kit.BUILD, "bin", "yvxml-preview.exe"), package, "install",
                                     "--dir", "EXISTINGDIR=" + self.windows_path("staging"), "--property",
                                     "DBPASS=" + SECRET])
        log, diff = output.split("\n--- ", 1)  # the diff shows the file as it is
        self.assertEqual((code, diff.count(SECRET)), (0, 2), output)
        for name, text in dict({n: r.log for n, r in runs.items()}, preview=log).items():
            with self.subTest(name):
                self.assertEqual([line for line in text.splitlines() if SECRET in line],
                                 [] if name == "preview" else [f"Property(S): DBPASS = {SECRET}"])
                self.assertIn(MASK, text)

if __name__ == "__main__":
    e2e_kit.main()
