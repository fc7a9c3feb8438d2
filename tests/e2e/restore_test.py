#!/usr/bin/env python3
"""Installations of a file with the file flag 0x10 through `wine msiexec`:
uninstall gives back what the installation found, though an
administrator's edit made since survives and is logged; repairs end where
the installation ended; the record of the changes lives in the private
state folder and is gone after a failed installation or the uninstall.
"""

import difflib
import glob
import os
import xml.etree.ElementTree as ET

import e2e_kit
from e2e_kit import INSTALL_FAILED, InstallTestCase
from suite_test import FAIL_AFTER_INSTALL

ORIGINAL = b"""<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <appSettings>
    <add key="mode" value="normal" />
    <add key="legacy" value="1" />
    <add key="path" value="C:\\data" />
  </appSettings>
  <connectionStrings>
    <add name="db" connectionString="Server=old" />
  </connectionStrings>
  <banner>Welcome</banner>
</configuration>
"""
ELEMENTS = [["Root", "App", None, "configuration", None, 0], ["Settings", "App", "Root", "appSettings", None, 0],
            ["Mode", "App", "Settings", "add[@key='mode']", None, 0],
            ["Legacy", "App", "Settings", "add[@key='legacy']", None, 0x2],
            ["New", "App", "Settings", "add[@key='new']", None, 0x1],
            ["Db", "App", "Root", "connectionStrings/add[@name='db']", None, 0],
            ["Banner", "App", "Root", "banner", " [ProductVersion]", 0x40],
            ["Logging", "App", "Root", "logging", None, 0x1], ["Level", "App", "Logging", "level", "debug", 0x1 | 0x10]]
ATTRIBUTES = [["ModeValue", "Mode", "value", "fast", 0x1], ["NewValue", "New", "value", "on", 0x1 | 0x4],
              ["DbPooling", "Db", "connectionString", ";Pooling=false", 0x1 | 0x10],
              ["Removed", "Root", "removed", "yes", 0x2 | 0x4]]  # an uninstall row: it runs after the restore


FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "xml")
TASK_NS = "xmlns:t='http://schemas.microsoft.com/windows/2004/02/mit/task'"
# Files of the corpus kept as they are (0x4) and restored (0x10): [file, encoding, selection namespaces],
# its element rows [key, parent, step, text, flags], attribute rows [key, element, name, value, flags], and the
# lines a diff of the installed file may show: (removed, added).
LAYOUT_CASES = [
    ["app.config", "utf-8", "", [["Root", None, "configuration", None, 0], ["Settings", "Root", "appSettings", None, 0],
                                 ["Retry", "Settings", "add[@key='RetryCount']", None, 0],
                                 ["Cache", "Settings", "add[@key='CachePath']", None, 0x2],
                                 ["Added", "Settings", "add[@key='Added']", None, 0x1]],
     [["RetryValue", "Retry", "value", "5", 0x1], ["AddedValue", "Added", "value", "yes", 0x5]],
     (['        <add key="RetryCount" value="3"/>\n',
       '        <add key="CachePath" value="%LOCALAPPDATA%\\Viewer\\Cache"/>\n'],
      ['        <add key="RetryCount" value="5"/>\n', '        <add key="Added" value="yes"/>\n'])],
    ["web.config", "utf-8", "", [["Root", None, "configuration", None, 0],
                                 ["Compilation", "Root", "system.web/compilation", None, 0],
                                 ["Admin", "Root", "location[@path='Admin']/system.web/authorization", None, 0],
                                 ["Allow", "Admin", "allow[@roles='Operators']", None, 0x1],
                                 ["Deny", "Admin", "deny[@users='*']", None, 0x2],
                                 ["Limits", "Root", "location[@path='api/upload']//requestLimits", None, 0]],
     [["Debug", "Compilation", "debug", "false", 0x1], ["Batch", "Compilation", "batch", "false", 0x5],
      ["Size", "Limits", "maxAllowedContentLength", "104857600", 0x1]],
     (['    <compilation debug="true" targetFramework="4.7.2" />\n', '        <deny users="*" />\n',
       '          <requestLimits maxAllowedContentLength="52428800" />\n'],
      ['    <compilation debug="false" targetFramework="4.7.2" batch="false" />\n',
       '        <allow roles="Operators" />\n',
       '          <requestLimits maxAllowedContentLength="104857600" />\n'])],
    ["pom.xml", "utf-8", "xmlns:m='http://maven.apache.org/POM/4.0.0'",
     [["Root", None, "m:project", None, 0], ["Description", "Root", "m:description", " (patched)", 0x40],
      ["Packaging", "Root", "m:packaging", None, 0x2]],
     (), (["  <packaging>jar</packaging>\n", "  <description>Stock levels &amp; reservations</description>\n"],
          ["  <description>Stock levels &amp; reservations (patched)</description>\n"])],
    ["company-cp1252.xml", "cp1252", "", [["Root", None, "company", None, 0], ["Note", "Root", "note", "revised", 0x10]],
     (),
     (["  <note>Prix unitaire : 12,50 \u20ac ; remise \u00ab fid\u00e9lit\u00e9 \u00bb 5 %</note>\r\n"],
      ["  <note>revised</note>\r\n"])],
    ["NightlyBackup.task.xml", "utf-16", TASK_NS,
     [["Root", None, "t:Task", None, 0], ["Enabled", "Root", "t:Triggers/t:CalendarTrigger/t:Enabled", "false", 0x10]],
     (),
     (["      <Enabled>true</Enabled>\r\n"], ["      <Enabled>false</Enabled>\r\n"])],
]


def parsed(content):
    def walk(e):
        return (e.tag, sorted(e.attrib.items()), (e.text or "").strip(), [walk(c) for c in e])
    return walk(ET.fromstring(content))


class Restore(InstallTestCase):
    def package(self, flags=0x10, extra_actions=()):
        self.write("existing/app.config", ORIGINAL)
        package = self.build_package({
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\"},
            "components": [{"id": "CompMain", "directory": "TARGETDIR"}],
            "xml_files": [["App", "app.config", "CompMain", "EXISTINGDIR", flags, "", ""]],
            "xml_elements": ELEMENTS, "xml_attributes": ATTRIBUTES, "extra_actions": list(extra_actions)})
        return package, ["TARGETDIR=" + self.windows_path("target") + "\\"]

    # Versions 1 and 2 of one product, each changing the file with the flag;
    # version 2 removes version 1 at `removal` in its sequence.
    def upgrade_packages(self, removal):
        self.write("existing/app.config", ORIGINAL)
        upgrade_code = "{6F1C2A55-3D0B-4E63-9A51-2B7D1E0C4A10}"
        packages = []
        for version, mode, name in (("1.0.0", "fast", "v1"), ("2.0.0", "faster", "v2")):
            packages.append(self.build_package({
                "product": {"version": version, "upgrade_code": upgrade_code},
                "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\"},
                "components": [{"id": "CompMain", "directory": "TARGETDIR"}],
                "xml_files": [["App", "app.config", "CompMain", "EXISTINGDIR", 0x10, "", ""]],
                "xml_elements": ELEMENTS[:3] + [["Banner", "App", "Root", "banner", " " + name, 0x40]],
                # Both versions write one value alike: the old one's uninstall must not take it away.
                "xml_attributes": [["ModeValue", "Mode", "value", mode, 0x1], ["Owner", "Mode", "owner", "app", 0x1 | 0x4]],
                "upgrades": [[upgrade_code, "0.0.1", version, 256, "OLDERFOUND"]],
                "remove_existing_products": removal}, name=name))
        return packages

    def test_a_major_upgrade_applies_the_new_changes_to_what_the_first_installation_found(self):
        records_before = self.records()
        target = ["TARGETDIR=" + self.windows_path("target") + "\\"]
        for removal in (1450, 6650):  # the old product removed first, or after the new one is installed
            v1, v2 = self.upgrade_packages(removal)
            self.assertEqual(self.msiexec("/i", v1, "install-v1", target).returncode, 0)
            run = self.msiexec("/i", v2, f"upgrade-{removal}", target)
            self.assertEqual(run.returncode, 0, run.log[-3000:])
            upgraded = self.read("existing", "app.config")
            self.assertEqual(parsed(upgraded), parsed(ORIGINAL.replace(b'"normal"', b'"faster" owner="app"').replace(
                b"Welcome", b"Welcome v2")), removal)
            self.assertEqual(len(set(self.records()) - set(records_before)), 1, removal)
            # Removed after, the old product's changes are taken over by the new one.
            self.assertEqual(any("this installation replaces the product" in line for line in run.lines),
                             removal == 6650, removal)
            self.assertEqual(self.msiexec("/x", v2, f"uninstall-{removal}", target).returncode, 0)
            self.assertEqual(parsed(self.read("existing", "app.config")), parsed(ORIGINAL), removal)
            self.assertEqual(self.records(), records_before, removal)

    def records(self):
        return glob.glob(os.path.join(self.state_folder(), "*.restore.ini"))

    def test_uninstall_gives_back_what_the_installation_found_and_repairs_end_where_it_ended(self):
        records_before = self.records()
        package, target = self.package()
        run = self.msiexec("/i", package, "install", target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        installed = self.read("existing", "app.config")
        root = ET.fromstring(installed)
        self.assertEqual([root.find("appSettings/add[@key='mode']").get("value"),
                          [a.get("key") for a in root.findall("appSettings/add")],
                          root.find("connectionStrings/add").get("connectionString"), root.find("banner").text,
                          root.find("logging/level").text],
                         ["fast", ["mode", "path", "new"], "Server=old;Pooling=false", "Welcome 1.2.3", "debug"])
        [record] = set(self.records()) - set(records_before)
        self.assertIn("[App]", self.read(record).decode("utf-16"))

        # Without the flag the append and the removal would pile up.
        for attempt in ("repair", "repair-again"):
            run = self.msiexec("/i", package, attempt, target + ["REINSTALL=ALL", "REINSTALLMODE=omus"])
            self.assertEqual((run.returncode, self.read("existing", "app.config")), (0, installed), attempt)

        # An administrator changes a value the installation wrote.
        self.write("existing/app.config", installed.replace(b'value="fast"', b'value="admin"'))
        # The preview of the uninstall, on a copy, restores from this machine's record as the uninstall does.
        self.write("staging/app.config", self.read("existing", "app.config"))
        code, output, stderr = self.wine([os.path.join(e2e_kit.BUILD, "bin", "yvxml-preview.exe"), package, "uninstall",
                                          "--dir", "EXISTINGDIR=" + self.windows_path("staging")])
        self.assertEqual(code, 0, output + stderr)
        run = self.msiexec("/x", package, "uninstall", target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        path = self.windows_path("existing", "app.config")
        self.assertIn(f"XML file '{path}', XPath '//appSettings/add[@key='mode']' (element /1/1): attribute 'value' "
                      "was changed after the installation; it is left as it is", run.lines)
        expected = ORIGINAL.replace(b'value="normal"', b'value="admin"').replace(
            b"<configuration>", b'<configuration removed="yes">')
        self.assertEqual(parsed(self.read("existing", "app.config")), parsed(expected))
        self.assertEqual(parsed(self.read("staging", "app.config")), parsed(expected))
        self.assertEqual(self.records(), records_before)

    def test_a_record_that_is_a_link_is_refused_before_the_file_changes(self):
        records_before = self.records()
        package, target = self.package()
        self.assertEqual(self.msiexec("/i", package, "install", target).returncode, 0)
        [record] = set(self.records()) - set(records_before)
        planted = self.write("planted.ini", self.read(record))
        os.remove(record)
        os.symlink(planted, record)
        self.addCleanup(os.remove, record)
        installed = self.read("existing", "app.config")
        run = self.msiexec("/x", package, "uninstall", target)
        self.assertEqual((run.returncode, self.read("existing", "app.config")), (INSTALL_FAILED, installed))
        self.assertIn("Private state 'C:\\ProgramData\\YVXmlCfg\\%s' is a link or may be written by users other "
                      "than the administrators. Nothing was changed" % os.path.basename(record), run.lines)

    def test_files_kept_as_they_are_change_only_in_their_changed_lines_and_uninstall_gives_back_their_bytes(self):
        originals, files, elements, attributes = {}, [], [], []
        for name, encoding, namespaces, file_elements, file_attributes, _ in LAYOUT_CASES:
            with open(os.path.join(FIXTURES, name), "rb") as f:
                originals[name] = f.read()
            self.write("existing/" + name, originals[name])
            files.append([name, name, "CompMain", "EXISTINGDIR", 0x14, namespaces, ""])
            elements += [[name + key, name, parent and name + parent, step, text, flags]
                         for key, parent, step, text, flags in file_elements]
            attributes += [[name + key, name + element, *rest] for key, element, *rest in file_attributes]
        package = self.build_package({
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\"},
            "components": [{"id": "CompMain", "directory": "TARGETDIR"}],
            "xml_files": files, "xml_elements": elements, "xml_attributes": attributes})
        target = ["TARGETDIR=" + self.windows_path("target") + "\\"]
        run = self.msiexec("/i", package, "install", target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        for name, encoding, _, _, _, (removed, added) in LAYOUT_CASES:
            before, after = (text.decode(encoding).splitlines(keepends=True)
                             for text in (originals[name], self.read("existing", name)))
            diff = list(difflib.unified_diff(before, after, n=0))[2:]
            self.assertEqual(([line[1:] for line in diff if line.startswith("-")],
                              [line[1:] for line in diff if line.startswith("+")]), (removed, added), name)
        run = self.msiexec("/x", package, "uninstall", target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        self.assertEqual({name: self.read("existing", name) for name in originals}, originals)

    def test_a_failed_uninstall_leaves_the_record_for_the_next_one(self):
        records_before = self.records()
        fail = dict(FAIL_AFTER_INSTALL, condition='REMOVE="ALL" AND FAILUNINSTALL="1"')
        package, target = self.package(extra_actions=[fail])
        self.assertEqual(self.msiexec("/i", package, "install", target).returncode, 0)
        [record] = set(self.records()) - set(records_before)
        recorded, installed = self.read(record), self.read("existing", "app.config")
        run = self.msiexec("/x", package, "failed-uninstall", target + ["FAILUNINSTALL=1"])
        self.assertEqual((run.returncode, self.read(record), self.read("existing", "app.config")),
                         (INSTALL_FAILED, recorded, installed))
        self.assertEqual(self.msiexec("/x", package, "uninstall", target).returncode, 0)
        expected = ORIGINAL.replace(b"<configuration>", b'<configuration removed="yes">')
        self.assertEqual(parsed(self.read("existing", "app.config")), parsed(expected))
        self.assertEqual(self.records(), records_before)

    def test_a_failed_installation_leaves_the_file_and_no_record(self):
        records_before = self.records()
        package, target = self.package(0x10 | 0x4, [FAIL_AFTER_INSTALL])
        run = self.msiexec("/i", package, "install", target)
        self.assertEqual(run.returncode, INSTALL_FAILED)
        self.assertEqual((self.read("existing", "app.config"), self.records()), (ORIGINAL, records_before))


if __name__ == "__main__":
    e2e_kit.main()
