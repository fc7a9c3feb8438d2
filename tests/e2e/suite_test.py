#!/usr/bin/env python3
"""Installations that fail, roll back or run without rollback: a failure
after the XML changes puts every byte back, commit and finalize leave
nothing in the temporary folder, files that cannot be read or written fail
the installation with the module's prompt, a full disk and a killed
installer never leave a torn file; and one installation at scale.
"""

import glob
import os
import random
import subprocess
import time
import xml.etree.ElementTree as ET

import e2e_kit
from e2e_kit import ACTION_SUCCEEDED, INSTALL_FAILED, InstallTestCase

# A deferred error action (type 19 in the install script) right after
# YVXmlInstall: the installation fails once the XML files have been saved.
FAIL_AFTER_INSTALL = {"action": "FailAfterXml", "type": 19 + 1024, "target": "Stopped after the XML changes",
                      "sequence": 4004}


class Suite(InstallTestCase):
    # files: [key, name, component, flags]; a component named Off is never
    # installed.
    def install(self, files, elements, attributes=(), arguments=(), log_name="install", **extra):
        package, target = self.package(files, elements, attributes, **extra)
        return package, target, self.msiexec("/i", package, log_name, target + list(arguments))

    def package(self, files, elements, attributes=(), **extra):
        package = self.build_package(dict({
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\"},
            "components": [{"id": c, "directory": "TARGETDIR", "condition": "NEVER" if c == "Off" else None}
                           for c in sorted({f[2] for f in files})],
            "xml_files": [[k, n, c, "EXISTINGDIR", flags, "", "UTF-8"] for k, n, c, flags in files],
            "xml_elements": elements, "xml_attributes": list(attributes)}, **extra))
        return package, ["TARGETDIR=" + self.windows_path("target") + "\\"]

    def test_a_failure_after_the_xml_changes_restores_every_byte_and_removes_created_files(self):
        # Bytes the module would never write itself (byte order mark, CR LF,
        # a comment, single quotes): only a byte copy gets them back. A file
        # of a component that is not installed is not the rollback's to
        # touch.
        originals = {"first.config": b"\xef\xbb\xbf<?xml version='1.0'?>\r\n<!-- keep me -->\r\n<configuration >\r\n"
                                     b"  <item   name='a' />\r\n</configuration>\r\n",
                     "settings.xml": b"<settings>\n<value>1</value>\n</settings>",
                     "second.xml": "<data><row id=\"1\">\u00e9t\u00e9</row></data>".encode("utf-8"),
                     "untouched.xml": b"<keep><item/></keep>"}
        for name, content in originals.items():
            self.write("existing/" + name, content)
        everything_before = self.temp_files("*")
        _, _, run = self.install(
            [["First", "first.config", "CompMain", 0], ["Settings", "settings.xml", "CompMain", 0],
             ["Second", "second.xml", "CompSecond", 0x4], ["Created", "created.xml", "CompSecond", 0x1],
             ["Untouched", "untouched.xml", "Off", 0]],
            [["F_Root", "First", None, "configuration", None, 0], ["F_Item", "First", "F_Root", "item", "new", 0x10],
             ["R_Root", "Settings", None, "settings", None, 0], ["R_Value", "Settings", "R_Root", "value", "2", 0x10],
             ["S_Root", "Second", None, "data", None, 0], ["S_Row", "Second", "S_Root", "row", None, 0x2],
             ["N_Root", "Created", None, "made", None, 0], ["N_Child", "Created", "N_Root", "child", None, 0x1],
             ["U_Root", "Untouched", None, "keep", None, 0], ["U_Item", "Untouched", "U_Root", "item", "x", 0x10]],
            [["A_Name", "F_Item", "name", "b", 0x1]], extra_actions=[FAIL_AFTER_INSTALL])
        self.assertEqual(run.returncode, INSTALL_FAILED)
        changed = ["first.config", "settings.xml", "second.xml", "created.xml"]
        for name in changed:  # saved before the failure, then rolled back
            path = self.windows_path("existing", name)
            self.assertIn(f"Saving XML file '{path}'", run.lines)
            self.assertIn(f"Rolling back XML file: '{path}'", run.lines)
        self.assertIn(f"Custom Action. {e2e_kit.PROGRESS_TEXTS['YV_PROGMSG_XML_ROLLBACK_FILES']}\n", run.log)
        self.assertEqual({name: self.read("existing", name) for name in originals}, originals)
        self.assertFalse(os.path.exists(self.path("existing", "created.xml")))
        # Neither commit nor finalize runs after a failure: the rollback
        # removed each backup it put back, the private state and the runtime
        # data file.
        self.assertEqual(self.temp_files("*") - everything_before, set())

    def test_a_failure_before_the_installation_script_leaves_no_runtime_data_file(self):
        self.write("existing/first.config", b"<configuration/>")
        everything_before = self.temp_files("*")
        _, _, run = self.install([["First", "first.config", "CompMain", 0]],
                                 [["F_Root", "First", None, "configuration", None, 0]], extra_actions=[
                                     {"action": "FailEarly", "type": 19, "target": "Stopped before the script",
                                      "sequence": 1450}])
        self.assertEqual(run.returncode, INSTALL_FAILED)
        self.assertEqual(run.action_results("YVXmlCleanup"), [ACTION_SUCCEEDED])
        self.assertEqual(self.temp_files("*") - everything_before, set())

    def test_files_the_module_cannot_read_or_write_and_tables_it_cannot_query_fail_the_installation(self):
        # With /qn nobody answers the load prompt (Error 27520) or the save
        # prompt (27519): the installer logs its text and answers 0, which
        # the module takes as Abort.
        broken_table = {"name": "YVXmlElement", "columns": [["YVXmlElement", "s72"], ["Broken", "S72"]],
                        "keys": ["YVXmlElement"], "rows": [["Root", None]]}
        for name, content, prompt, extra in (
                ("broken.xml", b"<settings><value>1</value>\n<unclosed>\n</settings>", "Error loading XML file", {}),
                ("empty.xml", b"", "Error loading XML file", {}),
                # Wine lets root write a read-only file; the immutable flag
                # refuses the write as Windows refuses it for a read-only file.
                ("locked.xml", b"<settings><value>1</value></settings>", "Error saving XML file", {}),
                # Windows writes no read-only file for any account; the
                # module refuses it where Wine running as root would not.
                ("readonly.xml", b"<settings><value>1</value></settings>", "Error saving XML file", {}),
                ("table.xml", b"<settings/>", None, {"raw_tables": [broken_table]})):
            with self.subTest(name):
                path = self.write("existing/" + name, content)
                if name == "readonly.xml":
                    os.chmod(path, 0o444)
                    self.addCleanup(os.chmod, path, 0o644)
                if name == "locked.xml":
                    if subprocess.run(["chattr", "+i", path], capture_output=True).returncode != 0:
                        self.skipTest("chattr +i is not available here")
                    self.addCleanup(subprocess.run, ["chattr", "-i", path], capture_output=True)
                _, _, run = self.install([["Target", name, "CompMain", 0]],
                                         [["T_Root", "Target", None, "settings", None, 0],
                                          ["T_Value", "Target", "T_Root", "value", "2", 0x1 | 0x10]],
                                         log_name=name, **extra)
                self.assertEqual((run.returncode, self.read("existing", name)), (INSTALL_FAILED, content))
                saved = f"Saving XML file '{self.windows_path('existing', name)}'" in run.lines
                if prompt is None:  # the costing's exception is one log line, not a crash
                    self.assertIn("An unhandled exception occurred in YVXmlCosting function", run.lines)
                    self.assertEqual(run.action_results("YVXmlInstall"), [])
                    continue
                self.assertEqual(saved, name in ("locked.xml", "readonly.xml"))
                # The rollback action runs only after the failure: it was
                # scheduled as a rollback action, not as a deferred one.
                prompted = run.log.find(f"{prompt} {self.windows_path('existing', name)}. Error: ")
                self.assertNotEqual(prompted, -1)
                self.assertGreater(run.log.find("Rolling back XML file: '" + self.windows_path("existing", name)),
                                   prompted)

    # A small RAM disk mounted at existing\disk (Linux only, as root); Wine
    # sees it as an ordinary folder of C:.
    def small_disk(self, size):
        path = self.path("existing", "disk")
        os.makedirs(path, exist_ok=True)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0755", "tmpfs", path],
                          capture_output=True).returncode != 0:
            self.skipTest("mounting a small disk needs root")
        self.addCleanup(subprocess.run, ["umount", "-l", path], capture_output=True)
        return path

    def test_a_full_disk_during_a_save_or_the_encoding_rewrite_fails_the_install_and_rollback_restores_every_byte(
            self):
        ok = b"<config>\n\t<item/>\n</config>\n"
        # Declared ISO-8859-1 and full of characters it cannot hold: the
        # parser's UTF-8 is less than half the size of the rewrite into the
        # declared encoding, so only the rewrite runs out of room.
        cases = {"big.xml": "<config>\n%s</config>\n" % "".join(
                     f'\t<item n="{i}">{"x" * 100}</item>\n' for i in range(1000)),
                 "latin.xml": '<?xml version="1.0" encoding="ISO-8859-1"?>\n<config>\n%s</config>\n' % "".join(
                     f'\t<item n="{i}">{"&#8364;" * 16}</item>\n' for i in range(1000))}
        for name, text in cases.items():
            with self.subTest(name):
                content = text.encode("latin-1")
                disk = self.small_disk(int(len(content) * 1.7))
                self.write("existing/ok.config", ok)
                self.write("existing/disk/" + name, content)
                everything_before = self.temp_files("*")
                _, _, run = self.install(
                    [["A_Ok", "ok.config", "CompMain", 0x4], ["B_Disk", "disk\\" + name, "CompMain", 0x4]],
                    [["A_Root", "A_Ok", None, "config", None, 0], ["A_Item", "A_Ok", "A_Root", "item", None, 0],
                     ["B_Root", "B_Disk", None, "config", None, 0],
                     ["B_Item", "B_Disk", "B_Root", "item[@n='0']", None, 0]],
                    [["A_V", "A_Item", "v", "1", 0x1 | 0x4], ["B_V", "B_Item", "v", "1", 0x1 | 0x4]], log_name=name)
                self.assertEqual(run.returncode, INSTALL_FAILED, run.log[-3000:])
                self.assertIn("Saving XML file '%s'" % self.windows_path("existing", "disk", name), run.lines)
                self.assertIn("Rolling back XML file: '%s'" % self.windows_path("existing", "ok.config"), run.lines)
                self.assertEqual((self.read("existing", "ok.config"), self.read("existing", "disk", name)),
                                 (ok, content))
                self.assertEqual(os.listdir(disk), [name], "a temporary file beside the target")
                self.assertEqual(self.temp_files("*") - everything_before, set())
                subprocess.run(["umount", "-l", disk], capture_output=True)

    def test_a_full_disk_while_the_state_is_stored_fails_the_install_and_rollback_still_finds_every_backup(self):
        # The private state folder on a small disk that holds the state, the
        # backups and the journal, but not the state's new copy at the end.
        state = self.state_folder()
        os.makedirs(state, exist_ok=True)
        long_value = "v" * 2000
        count = 20
        files = [[f"F{i}", f"file{i}.xml", "CompMain", 0x4] for i in range(count)]
        elements, attributes = [], []
        for i in range(count):
            self.write(f"existing/file{i}.xml", f"<config>\n\t<item/>\n</config>\n")
            elements += [[f"F{i}_Root", f"F{i}", None, "config", None, 0], [f"F{i}_Item", f"F{i}", f"F{i}_Root",
                                                                               "item", None, 0]]
            attributes.append([f"F{i}_V", f"F{i}_Item", "v", long_value, 0x1 | 0x4])
        package, target = self.package(files, elements, attributes)
        runtime_bytes = 2 * count * (len(long_value) + 400)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={runtime_bytes + count * 4096 + 4096 + runtime_bytes // 2},"
                           "mode=0755", "tmpfs", state], capture_output=True).returncode != 0:
            self.skipTest("mounting a small disk needs root")
        self.addCleanup(subprocess.run, ["umount", "-l", state], capture_output=True)
        everything_before = self.temp_files("*")
        run = self.msiexec("/i", package, "install", target)
        self.assertEqual(run.returncode, INSTALL_FAILED, run.log[-3000:])
        self.assertTrue([line for line in run.lines if line.startswith("Unable to store the private state file")])
        for i in range(count):
            self.assertEqual(self.read("existing", f"file{i}.xml"), b"<config>\n\t<item/>\n</config>\n", i)
        self.assertEqual((os.listdir(state), self.temp_files("*") - everything_before), ([], set()))

    def test_killing_the_installer_during_a_large_save_leaves_the_old_or_the_new_bytes(self):
        old = ("<config>\n%s</config>\n" % "".join(
            f'\t<item n="{i}" value="{"v" * 150}"/>\n' for i in range(100000))).encode()
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        rng = random.Random(7)
        for attempt in range(4):
            with self.subTest(attempt=attempt):
                self.write("existing/big.xml", old)
                # A new product each time: a killed installation may have
                # registered the last one.
                package, target = self.package([["Big", "big.xml", "CompMain", 0x4]],
                                               [["B_Root", "Big", None, "config", None, 0],
                                                ["B_Item", "Big", "B_Root", "item[@n='0']", None, 0]],
                                               [["B_V", "B_Item", "state", "new", 0x1 | 0x4]])
                installer = subprocess.Popen([os.path.join(e2e_kit.BUILD, "wine-run"), "msiexec", "/i", package,
                                              "/qn"] + target, env=env, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL)
                # The save has begun once its new file appears beside the target.
                deadline = time.time() + 120
                while not glob.glob(self.path("existing", "~yv*.tmp")) and installer.poll() is None:
                    self.assertLess(time.time(), deadline)
                    time.sleep(0.02)
                time.sleep(rng.uniform(0, 1.5))
                subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
                installer.wait()
                now = self.read("existing", "big.xml")
                if now != old:
                    root = ET.fromstring(now)
                    self.assertEqual((len(root), root[0].get("state")), (100000, "new"), "a torn file")
                for leftover in glob.glob(self.path("existing", "~yv*.tmp")):
                    os.remove(leftover)  # a killed process cannot clean up; the target is what counts

    def test_long_values_and_paths_blank_files_and_predicates_install_as_authored_and_mistakes_are_refused(self):
        # A folder beyond 259 characters, whose cut would name another folder.
        deep = ["existing"] + ["folder-" + "x" * 53] * 4
        original = b"<settings><value>1</value></settings>"
        self.write("/".join(deep + ["long.xml"]), original)
        self.write("existing/blank.xml", b"  \r\n")
        self.assertGreater(len(self.windows_path(*deep)), 259)
        value, content, lines = "v" * 100000, "c" * 50000, "line1\r\nline2"
        add = "add[@key='a' and @mode=\"on\"]"
        files = [["Long", "long.xml", "CompMain", 0], ["Blank", "blank.xml", "CompMain", 0x1]]
        elements = [["L_Root", "Long", None, "settings", None, 0], ["L_Value", "Long", "L_Root", "value", content, 0x10],
                    # Two rows of one XPath: both rows' attributes apply.
                    ["L_Add", "Long", "L_Root", add, None, 0x1], ["L_Add2", "Long", "L_Root", add, None, 0],
                    ["B_Root", "Blank", None, "made", None, 0], ["B_Item", "Blank", "B_Root", "item", "x", 0x1 | 0x10]]
        attributes = [["A_Data", "L_Value", "data", value, 0x1 | 0x4], ["A_Lines", "L_Value", "lines", lines, 0x1 | 0x4],
                      ["A_First", "L_Add", "first", "1", 0x1 | 0x4], ["A_Second", "L_Add2", "second", "2", 0x1 | 0x4],
                      ["A_Tail", "L_Add2", "tail", ";x", 0x1 | 0x4 | 0x10],
                      ["B_Ns", "B_Root", "xmlns", "urn:made", 0x1]]  # the created root's namespace
        where = {"xml_files": [[k, n, c, "LONGDIR" if k == "Long" else "EXISTINGDIR", f, "", "UTF-8"]
                               for k, n, c, f in files],
                 "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\",
                                "LONGDIR": self.windows_path(*deep) + "\\"}}
        package, target, run = self.install(files, elements, attributes, **where)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        root = ET.fromstring(self.read(*deep, "long.xml"))
        self.assertEqual([root.find("value").text == content, root.find("value").get("data") == value,
                          root.find("value").get("lines"), [a.attrib for a in root.findall("add")]],
                         [True, True, lines, [{"key": "a", "mode": "on", "first": "1", "second": "2", "tail": ";x"}]])
        blank = ET.fromstring(self.read("existing", "blank.xml"))
        self.assertEqual([(e.tag, (e.text or "").strip()) for e in blank.iter()],
                         [("{urn:made}made", ""), ("item", "x")])
        # The created element matches its own XPath, and an appended text is
        # already in place: a repair changes nothing.
        installed = self.read(*deep, "long.xml")
        run = self.msiexec("/i", package, "repair", target + ["REINSTALL=ALL", "REINSTALLMODE=omus"])
        self.assertEqual((run.returncode, self.read(*deep, "long.xml")), (0, installed))
        run = self.msiexec("/x", package, "uninstall", target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])

        # Rollback gives a blank file back as it was.
        self.write("existing/blank.xml", b"\r\n")
        _, _, run = self.install(files[1:], elements[4:], extra_actions=[FAIL_AFTER_INSTALL], log_name="rollback")
        self.assertEqual((run.returncode, self.read("existing", "blank.xml")), (INSTALL_FAILED, b"\r\n"))
        # A name that is not an XML name fails the costing, naming the row.
        self.write("/".join(deep + ["long.xml"]), original)
        _, _, run = self.install(files, elements, attributes + [["A_Bad[1]", "L_Value", "a b", "1", 0x1]],
                                 log_name="refused", **where)
        self.assertEqual((run.returncode, self.read(*deep, "long.xml")), (INSTALL_FAILED, original))
        # Brackets in a log line reach the log as written.
        self.assertIn("Table YVXmlElementAttrib, row 'A_Bad[1]', column Name: 'a b' is not an XML name. "
                      "Nothing was changed", run.lines)

    def test_many_files_and_a_large_one_without_rollback_leave_nothing_behind(self):
        count, rows = 200, "".join(f'\t\t<item id="{i}" value="{"v" * 180}"/>\n' for i in range(25000))
        big = f"<catalog>\n\t<settings/>\n\t<items>\n{rows}\t</items>\n</catalog>\n".encode("utf-8")
        self.write("existing/big.xml", big)
        # Not re-indented (0x4): formatting a large file takes minutes under Wine.
        files, elements, attributes = [["Big", "big.xml", "CompMain", 0x4]], [
            ["B_Root", "Big", None, "catalog", None, 0],
            ["B_Mode", "Big", "B_Root", "settings/mode", "on", 0x1 | 0x8 | 0x10],
            ["B_Last", "Big", "B_Root", "items/item[@id='24999']", None, 0]], [
            ["B_State", "B_Last", "state", "seen", 0x1 | 0x4], ["B_Gone", "B_Last", "state", "", 0x2 | 0x8]]
        for i in range(count):  # every other file exists; the others are created and deleted again
            if i % 2 == 0:
                self.write(f"existing/file{i}.xml", f'<config>\n\t<entry name="old{i}"/>\n</config>\n')
            files.append([f"F{i}", f"file{i}.xml", "CompMain", 0x1 | 0x2 * (i % 2)])
            elements += [[f"F{i}_Root", f"F{i}", None, "config", None, 0], [
                f"F{i}_New", f"F{i}", f"F{i}_Root", f"entry[@name='new{i}']", "[ProductVersion]", 0x1 | 0x8 | 0x10]]
            attributes.append([f"F{i}_Name", f"F{i}_New", "name", f"new{i}", 0x1 | 0x4])
        package, target, run = self.install(files, elements, attributes, ["DISABLEROLLBACK=1"])
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        self.assertEqual(run.action_results("YVXmlFinalize"), [ACTION_SUCCEEDED])
        self.assertEqual(len([line for line in run.lines if line.startswith("Installing XML file")]), count + 1)
        for i in range(count):
            root = ET.fromstring(self.read("existing", f"file{i}.xml"))
            self.assertEqual([(e.get("name"), e.text) for e in root.findall("entry")],
                             [(f"old{i}", None)] * (i % 2 == 0) + [(f"new{i}", "1.2.3")], i)
        root = ET.fromstring(self.read("existing", "big.xml"))
        self.assertEqual([root.find("settings/mode").text, len(root.findall("items/item")),
                          root.findall("items/item")[-1].get("state")], ["on", 25000, "seen"])
        # Finalize deleted every backup and the runtime data file.
        self.assertEqual(self.temp_files(), self.temp_before)

        run = self.msiexec("/x", package, "uninstall", target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        for i in range(count):
            path = self.path("existing", f"file{i}.xml")
            self.assertEqual(os.path.exists(path) and self.read(path),
                             i % 2 == 0 and f'<config>\n\t<entry name="old{i}"/>\n</config>\n'.encode(), i)
        # Saved without re-indenting, the file keeps its layout; the parser
        # writes the emptied <settings> its own way, so this compares parsed.
        root = ET.fromstring(self.read("existing", "big.xml"))
        self.assertEqual([len(root.find("settings")), len(root.findall("items/item")),
                          [i for i in root.iter("item") if "state" in i.attrib]], [0, 25000, []])


if __name__ == "__main__":
    e2e_kit.main()
