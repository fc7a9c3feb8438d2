#!/usr/bin/env python3
"""End-to-end installations around the edges of the install engine: repair,
rollback after a later failure, commit and finalize clean-up, files that
cannot be written or read, very small, very large and very many files, and
paths that are not plain ASCII.

Every package here is built with tools/package/yvpackage.py and installed
with the real `wine msiexec /qn`; the assertions are on file bytes, msiexec's
exit status, the temporary folder and the module's "Yelvin" log lines.
"""

import os
import stat
import subprocess
import xml.etree.ElementTree as ET

import e2e_kit
from e2e_kit import ACTION_SUCCEEDED, INSTALL_FAILED, InstallTestCase

# A deferred error action (type 19 run from the install script): sequenced
# right after YVXmlInstall it fails the installation once the XML files have
# been changed, so that the installer runs the rollback script.
FAIL_AFTER_INSTALL = {"action": "FailAfterXmlInstall", "type": 19 + 1024, "source": None,
                      "target": "Installation stopped by the test after the XML changes", "sequence": 4004}

# With /qn nobody answers the module's load prompt (Error row 27520) or save
# prompt (27519): the installer logs the prompt's text, from the package's
# Error table, and answers 0, which the module takes as Abort.
LOAD_PROMPT = "Error loading XML file"
SAVE_PROMPT = "Error saving XML file"


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class SuiteCase(InstallTestCase):
    """Shared set-up: a folder of files that exist before the installation,
    named by the folder property EXISTINGDIR."""

    def existing(self, name, content):
        path = self.path("existing", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode("utf-8") if isinstance(content, str) else content)
        return path

    def package(self, xml_files, xml_elements, xml_attributes=(), **extra):
        description = {
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\"},
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [{"id": "CompMain", "directory": "INSTALLDIR"}],
            "xml_files": xml_files,
            "xml_elements": xml_elements,
            "xml_attributes": list(xml_attributes),
        }
        for key, value in extra.items():
            if key == "properties":
                description["properties"].update(value)
            else:
                description[key] = value
        return self.build_package(description)

    def target(self):
        return ["TARGETDIR=" + self.windows_path("target") + "\\"]

    def assert_succeeded(self, run, *actions):
        # Only immediate actions are worth naming: Wine logs a deferred
        # action's "Action ended" when it is written into the script, with
        # success, whatever it later returns.
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        for action in actions:
            self.assertEqual(run.action_result(action), ACTION_SUCCEEDED, action)

    def assert_prompted(self, run, prompt, name):
        text = f"{prompt} {self.windows_path('existing', name)}. Error: "
        self.assertTrue([line for line in run.log.splitlines() if line.startswith(text)],
                        [line for line in run.log.splitlines() if "rror" in line])


class RepairUninstallAndCommit(SuiteCase):
    def test_repair_finds_what_the_install_created_and_uninstall_reverts_it(self):
        original = ('<?xml version="1.0" encoding="utf-8"?>\n<configuration>\n\t<appSettings>\n'
                    '\t\t<add key="Existing" value="1"/>\n\t</appSettings>\n</configuration>\n')
        config = self.existing("app.config", original)
        created = self.path("existing", "settings.xml")
        package = self.package(
            [["Config", "app.config", "CompMain", "EXISTINGDIR", 0, "", ""],
             ["Settings", "settings.xml", "CompMain", "EXISTINGDIR", 0x1 | 0x2, "", "UTF-8"]],
            [["C_Root", "Config", None, "configuration", None, 0],
             ["C_App", "Config", "C_Root", "appSettings", None, 0],
             ["C_Mode", "Config", "C_App", "add[@key='Mode']", None, 0x1 | 0x8],
             ["C_Existing", "Config", "C_App", "add[@key='Existing']", None, 0],
             ["C_Features", "Config", "C_Root", "features", None, 0x1 | 0x8],
             ["C_Feature", "Config", "C_Features", "feature", "on", 0x1 | 0x10],
             ["S_Root", "Settings", None, "settings", None, 0],
             ["S_Server", "Settings", "S_Root", "server", "[ProductVersion]", 0x1 | 0x10]],
            [["A_ModeKey", "C_Mode", "key", "Mode", 0x1 | 0x4],
             ["A_ModeValue", "C_Mode", "value", "fast", 0x1 | 0x4],
             ["A_ExistingNew", "C_Existing", "value", "2", 0x1],
             ["A_ExistingOld", "C_Existing", "value", "1", 0x2]])
        temp_before = self.runtime_data_files()

        run = self.install(package, self.target())
        self.assert_succeeded(run, "YVXmlCosting")
        installed = read_bytes(config)
        root = ET.fromstring(installed)
        self.assertEqual(self.attribute_of(root, "appSettings/add", "key"), ["Existing", "Mode"])
        self.assertEqual(self.attribute_of(root, "appSettings/add", "value"), ["2", "fast"])
        self.assertEqual([f.text for f in root.findall("features/feature")], ["on"])
        self.assertEqual([s.text for s in ET.parse(created).getroot().findall("server")], ["1.2.3"])
        # Commit deleted the backup copies and the runtime data file.
        self.assertEqual(self.runtime_data_files(), temp_before)

        # A repair runs the install walk again over the changed files: every
        # element the first run created is found by its XPath, none is added
        # twice, and the files come out exactly as the first run left them.
        run = self.msiexec("/i", package, "repair", self.target() + ["REINSTALL=ALL", "REINSTALLMODE=omus"])
        self.assert_succeeded(run, "YVXmlCosting")
        lines = run.yelvin_lines()
        self.assertIn(f"Installing XML file '{self.windows_path('existing', 'app.config')}'", lines)
        self.assertIn(f"Installing XML file '{self.windows_path('existing', 'settings.xml')}'", lines)
        self.assertFalse([line for line in lines if line.endswith("not found, creating")], lines)
        self.assertEqual(read_bytes(config), installed)
        self.assertEqual(len(ET.parse(created).getroot().findall("server")), 1)
        self.assertEqual(self.runtime_data_files(), temp_before)

        # Uninstall removes what the tables created and puts the old value
        # back. The original is written the way the module saves a document
        # (tab indents, one element per line), so the revert is byte for
        # byte. The created file goes even though it is read-only by now.
        os.chmod(created, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        run = self.uninstall(package, self.target())
        self.assert_succeeded(run, "YVXmlCosting")
        self.assertEqual(read_bytes(config), original.encode("utf-8"))
        self.assertFalse(os.path.exists(created))
        lines = run.yelvin_lines()
        self.assertIn("Uninstalling 1 xml components", lines)
        self.assertNotIn(f"Unable to remove XML file {self.windows_path('existing', 'settings.xml')}", lines)
        self.assertEqual(self.runtime_data_files(), temp_before)


class RollbackCommitAndFinalize(SuiteCase):
    def test_a_failure_after_the_xml_changes_restores_every_byte_and_removes_created_files(self):
        # Files whose bytes the module would never write itself: CR LF line
        # ends, a byte order mark, a comment, odd spacing and an attribute in
        # single quotes. Only a byte copy gets them back.
        first = self.existing("first.config",
                              b"\xef\xbb\xbf<?xml version='1.0'?>\r\n<!-- keep me -->\r\n<configuration >\r\n"
                              b"  <item   name='a' />\r\n</configuration>\r\n")
        second = self.existing("second.xml", "<data><row id=\"1\">\u00e9t\u00e9</row></data>")
        created = self.path("existing", "created.xml")
        package = self.package(
            [["First", "first.config", "CompMain", "EXISTINGDIR", 0, "", ""],
             ["Second", "second.xml", "CompSecond", "EXISTINGDIR", 0x4, "", ""],
             ["Created", "created.xml", "CompSecond", "EXISTINGDIR", 0x1, "", "UTF-8"]],
            [["F_Root", "First", None, "configuration", None, 0],
             ["F_Item", "First", "F_Root", "item", "new text", 0x10],
             ["F_Added", "First", "F_Root", "added", None, 0x1],
             ["S_Root", "Second", None, "data", None, 0],
             ["S_Row", "Second", "S_Root", "row", None, 0x2],
             ["N_Root", "Created", None, "made", None, 0],
             ["N_Child", "Created", "N_Root", "child", None, 0x1]],
            [["A_Name", "F_Item", "name", "b", 0x1]],
            components=[{"id": "CompMain", "directory": "INSTALLDIR"},
                        {"id": "CompSecond", "directory": "INSTALLDIR"}],
            extra_actions=[FAIL_AFTER_INSTALL])
        originals = {first: read_bytes(first), second: read_bytes(second)}
        temp_before = self.runtime_data_files()

        run = self.install(package, self.target())
        self.assertEqual(run.returncode, INSTALL_FAILED)
        lines = run.yelvin_lines()
        # The changes were made and saved before the failure ...
        for name in ("first.config", "second.xml", "created.xml"):
            self.assertIn(f"Saving XML file '{self.windows_path('existing', name)}'", lines)
        # ... and the rollback put every byte back and removed the new file.
        for path, content in originals.items():
            self.assertEqual(read_bytes(path), content, path)
        self.assertFalse(os.path.exists(created))
        for name in ("first.config", "second.xml", "created.xml"):
            self.assertIn(f"Rolling back XML file: '{self.windows_path('existing', name)}'", lines)
        self.assertNotIn("Unable to restore backup XML file", lines)

        # Rollback restores from the backups but does not delete them, nor the
        # runtime data file: only commit and finalize clean up, and neither
        # runs after a failure. What is left is one copy per existing file,
        # holding its bytes from before the installation, and the data file.
        left = self.runtime_data_files() - temp_before
        backups = sorted(read_bytes(path) for path in left if read_bytes(path) in originals.values())
        self.assertEqual(backups, sorted(originals.values()))
        self.assertEqual(len(left), len(originals) + 1, left)
        for path in left:
            os.remove(path)

    def test_finalize_with_rollback_disabled_changes_the_files_and_leaves_nothing_behind(self):
        config = self.existing("app.config", "<configuration><appSettings/></configuration>")
        package = self.package(
            [["Config", "app.config", "CompMain", "EXISTINGDIR", 0x4, "", ""],
             ["Created", "created.xml", "CompMain", "EXISTINGDIR", 0x1 | 0x2, "", "UTF-8"]],
            [["C_Root", "Config", None, "configuration", None, 0],
             ["C_Mode", "Config", "C_Root", "appSettings/add[@key='Mode']", None, 0x1 | 0x8],
             ["N_Root", "Created", None, "made", None, 0],
             ["N_Child", "Created", "N_Root", "child", "x", 0x1 | 0x10]],
            [["A_ModeKey", "C_Mode", "key", "Mode", 0x1 | 0x4]],
            # Windows runs no commit action when rollback is disabled. Wine
            # runs it all the same, and it deletes the runtime data file that
            # finalize then fails to read; the condition keeps Wine to what
            # Windows does.
            conditions={"YVXmlCommit": "NOT RollbackDisabled"})
        temp_before = self.runtime_data_files()

        run = self.install(package, self.target() + ["DISABLEROLLBACK=1"])
        self.assert_succeeded(run, "YVXmlCosting", "YVXmlFinalize")
        root = ET.parse(config).getroot()
        self.assertEqual(self.attribute_of(root, "appSettings/add", "key"), ["Mode"])
        self.assertEqual(ET.parse(self.path("existing", "created.xml")).getroot().find("child").text, "x")
        # Finalize deleted the backup and the runtime data file.
        self.assertEqual(self.runtime_data_files(), temp_before)
        self.assertFalse([line for line in run.yelvin_lines() if "Error removing file" in line])


class FilesTheModuleCannotChange(SuiteCase):
    def test_a_read_only_file_is_back_to_its_bytes_and_attribute_after_a_failed_installation(self):
        content = b"<settings>\n<value>1</value>\n</settings>"
        path = self.existing("readonly.xml", content)
        os.chmod(path, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        package = self.package(
            [["ReadOnly", "readonly.xml", "CompMain", "EXISTINGDIR", 0, "", ""]],
            [["R_Root", "ReadOnly", None, "settings", None, 0],
             ["R_Value", "ReadOnly", "R_Root", "value", "2", 0x10]],
            extra_actions=[FAIL_AFTER_INSTALL])
        temp_before = self.runtime_data_files()

        run = self.install(package, self.target())
        # Windows refuses to write a read-only file, so the save fails and,
        # with no one to answer the save prompt, so does the installation.
        # Wine shows the read-only attribute as missing write permission,
        # which does not stop a process running as root: there the save
        # succeeds and the error action after it fails the installation. In
        # both cases the rollback must restore the bytes and keep the file
        # read-only.
        self.assertEqual(run.returncode, INSTALL_FAILED)
        self.assertEqual(read_bytes(path), content)
        self.assertFalse(os.stat(path).st_mode & (stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH))
        self.assertNotIn("Unable to restore backup XML file", run.yelvin_lines())
        for leftover in self.runtime_data_files() - temp_before:
            os.remove(leftover)

    def test_a_file_that_cannot_be_written_fails_the_installation_cleanly(self):
        content = b"<settings><value>1</value></settings>"
        path = self.existing("locked.xml", content)
        # Wine lets root write a read-only file (see above); the immutable
        # flag refuses the write to root too, as Windows refuses it for a
        # read-only file.
        if subprocess.run(["chattr", "+i", path], capture_output=True).returncode != 0:
            self.skipTest("chattr +i is not available here")
        self.addCleanup(subprocess.run, ["chattr", "-i", path], capture_output=True)
        package = self.package(
            [["Locked", "locked.xml", "CompMain", "EXISTINGDIR", 0, "", ""]],
            [["L_Root", "Locked", None, "settings", None, 0],
             ["L_Value", "Locked", "L_Root", "value", "2", 0x10]])
        temp_before = self.runtime_data_files()

        run = self.install(package, self.target())
        self.assertEqual(run.returncode, INSTALL_FAILED)
        self.assert_prompted(run, SAVE_PROMPT, "locked.xml")
        self.assertIn(f"Saving XML file '{self.windows_path('existing', 'locked.xml')}'", run.yelvin_lines())
        self.assertEqual(read_bytes(path), content)
        for leftover in self.runtime_data_files() - temp_before:
            os.remove(leftover)

    def test_a_file_that_does_not_parse_or_is_empty_fails_the_installation_and_stays_as_it_was(self):
        for name, content in (("broken.xml", b"<settings><value>1</value>\n<unclosed>\n</settings>"),
                              ("empty.xml", b"")):
            with self.subTest(name):
                path = self.existing(name, content)
                package = self.package(
                    [["Target", name, "CompMain", "EXISTINGDIR", 0, "", ""]],
                    [["T_Root", "Target", None, "settings", None, 0],
                     ["T_Value", "Target", "T_Root", "value", "2", 0x1 | 0x10]])
                temp_before = self.runtime_data_files()

                run = self.install(package, self.target(), log_name=name)
                self.assertEqual(run.returncode, INSTALL_FAILED)
                self.assert_prompted(run, LOAD_PROMPT, name)
                lines = run.yelvin_lines()
                self.assertIn(f"Installing XML file '{self.windows_path('existing', name)}'", lines)
                self.assertFalse([line for line in lines if line.startswith("Saving XML file")], lines)
                self.assertEqual(read_bytes(path), content)
                for leftover in self.runtime_data_files() - temp_before:
                    os.remove(leftover)


class SizesCountsAndNames(SuiteCase):
    def test_a_20_mb_file_is_changed_and_reverted(self):
        rows = "".join(f'\t\t<item id="{i}" value="{"v" * 180}"/>\n' for i in range(100000))
        content = f"<catalog>\n\t<settings/>\n\t<items>\n{rows}\t</items>\n</catalog>\n".encode("utf-8")
        self.assertGreater(len(content), 20 * 1024 * 1024)
        path = self.existing("big.xml", content)
        package = self.package(
            # Not re-indented (0x4): formatting a file this size takes minutes under Wine.
            [["Big", "big.xml", "CompMain", "EXISTINGDIR", 0x4, "", ""]],
            [["B_Root", "Big", None, "catalog", None, 0],
             ["B_Settings", "Big", "B_Root", "settings", None, 0],
             ["B_Mode", "Big", "B_Settings", "mode", "on", 0x1 | 0x8 | 0x10],
             ["B_Last", "Big", "B_Root", "items/item[@id='99999']", None, 0]],
            [["A_Last", "B_Last", "state", "seen", 0x1 | 0x4],
             ["A_LastGone", "B_Last", "state", "", 0x2 | 0x8]])

        run = self.install(package, self.target())
        self.assert_succeeded(run, "YVXmlCosting")
        root = ET.parse(path).getroot()
        self.assertEqual(root.find("settings/mode").text, "on")
        items = root.findall("items/item")
        self.assertEqual(len(items), 100000)
        self.assertEqual(items[-1].get("state"), "seen")
        self.assertEqual(items[5].get("value"), "v" * 180)
        del root, items

        run = self.uninstall(package, self.target())
        self.assert_succeeded(run, "YVXmlCosting")
        # Saved without re-indenting, the file keeps its layout, but the
        # parser writes line ends and the emptied <settings> its own way, so
        # the revert is checked on the parsed document.
        root = ET.parse(path).getroot()
        settings = root.find("settings")
        self.assertEqual((len(settings), settings.attrib, (settings.text or "").strip()), (0, {}, ""))
        items = root.findall("items/item")
        self.assertEqual(len(items), 100000)
        self.assertEqual([item for item in items if item.get("state") is not None], [])
        self.assertEqual(items[-1].get("value"), "v" * 180)

    def test_200_files_in_one_package(self):
        count = 200
        files, elements, attributes = [], [], []
        for i in range(count):
            key = f"F{i:03}"
            # Every other file exists already; the others are created.
            if i % 2 == 0:
                self.existing(f"file{i:03}.xml", f'<config>\n\t<entry name="old{i}"/>\n</config>\n')
            files.append([key, f"file{i:03}.xml", "CompMain", "EXISTINGDIR", 0x1 | 0x2 * (i % 2), "", "UTF-8"])
            elements.append([f"{key}_Root", key, None, "config", None, 0])
            elements.append([f"{key}_Entry", key, f"{key}_Root", f"entry[@name='new{i}']", "[ProductVersion]",
                             0x1 | 0x8 | 0x10])
            attributes.append([f"{key}_Name", f"{key}_Entry", "name", f"new{i}", 0x1 | 0x4])
        package = self.package(files, elements, attributes)
        temp_before = self.runtime_data_files()

        run = self.install(package, self.target())
        self.assert_succeeded(run, "YVXmlCosting")
        installing = [line for line in run.yelvin_lines() if line.startswith("Installing XML file")]
        self.assertEqual(len(installing), count)
        for i in range(count):
            root = ET.parse(self.path("existing", f"file{i:03}.xml")).getroot()
            expected = ([f"old{i}"] if i % 2 == 0 else []) + [f"new{i}"]
            self.assertEqual(self.attribute_of(root, "entry", "name"), expected, i)
            self.assertEqual(root.findall("entry")[-1].text, "1.2.3")
        self.assertEqual(self.runtime_data_files(), temp_before)

        run = self.uninstall(package, self.target())
        self.assert_succeeded(run, "YVXmlCosting")
        for i in range(count):
            path = self.path("existing", f"file{i:03}.xml")
            if i % 2 == 0:
                self.assertEqual(read_bytes(path), f'<config>\n\t<entry name="old{i}"/>\n</config>\n'.encode(), i)
            else:
                self.assertFalse(os.path.exists(path), i)

    def test_paths_with_spaces_and_non_ascii_characters(self):
        # msibuild (msitools) crashes importing table text outside Latin-1, so
        # the names and values that go through the package's tables stay
        # within it; the file's own text has more.
        folder = "Donn\u00e9es de l'\u00e9t\u00e9"
        name = "R\u00e9glages \u00e0 jour.xml"
        original = '<r\u00e9glages>\n\t<item name="\u00e4"/>\n\t<note>\u6771\u4eac \u20ac</note>\n</r\u00e9glages>\n'
        path = self.existing(os.path.join(folder, name), original)
        created_name = "Neu \u00fc\u00df.config"
        package = self.package(
            [["Existing", name, "CompMain", "SPECIALDIR", 0, "", ""],
             ["Created", created_name, "CompMain", "SPECIALDIR", 0x1 | 0x2, "", "UTF-8"]],
            [["E_Root", "Existing", None, "r\u00e9glages", None, 0],
             ["E_Item", "Existing", "E_Root", "item", None, 0],
             ["E_New", "Existing", "E_Root", "\u00e9l\u00e9ment", "[VALUE]", 0x1 | 0x8 | 0x10],
             ["C_Root", "Created", None, "config", None, 0],
             ["C_Path", "Created", "C_Root", "path", "[SPECIALDIR]", 0x1 | 0x10]],
            [["A_New", "E_Item", "name", "\u00e4\u00f6\u00fc \u00df", 0x1],
             ["A_Back", "E_Item", "name", "\u00e4", 0x2]],
            properties={"SPECIALDIR": self.windows_path("existing", folder) + "\\",
                        "VALUE": "Gr\u00f6\u00dfe \u00bd \u00e9t\u00e9"})
        created = self.path("existing", folder, created_name)

        run = self.install(package, self.target())
        self.assert_succeeded(run, "YVXmlCosting")
        root = ET.parse(path).getroot()
        self.assertEqual(root.find("item").get("name"), "\u00e4\u00f6\u00fc \u00df")
        self.assertEqual(root.find("\u00e9l\u00e9ment").text, "Gr\u00f6\u00dfe \u00bd \u00e9t\u00e9")
        self.assertEqual(root.find("note").text, "\u6771\u4eac \u20ac")
        self.assertEqual(ET.parse(created).getroot().find("path").text,
                         self.windows_path("existing", folder) + "\\")

        run = self.uninstall(package, self.target())
        self.assert_succeeded(run, "YVXmlCosting")
        self.assertEqual(read_bytes(path), original.encode("utf-8"))
        self.assertFalse(os.path.exists(created))


if __name__ == "__main__":
    e2e_kit.main()
