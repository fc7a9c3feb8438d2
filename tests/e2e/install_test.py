#!/usr/bin/env python3
"""End-to-end installations with the real `wine msiexec`.

Each test builds a package with tools/package/yvpackage.py (the module's
custom actions sequenced as a product would sequence them, the XML-change
tables, components and files), installs it with `msiexec /i ... /qn /l*v`,
checks the changed XML files and the verbose log's "Yelvin" lines, then
removes it with `msiexec /x` and checks that the changes were reverted.
"""

import os
import xml.etree.ElementTree as ET

import e2e_kit
from e2e_kit import ACTION_SUCCEEDED, INSTALL_FAILED, InstallTestCase

class InstallAndUninstall(InstallTestCase):
    def test_tables_change_an_installed_and_a_preexisting_file_and_uninstall_reverts_them(self):
        settings_source = self.write("source/settings.xml", '<settings><option name="a">old</option></settings>')
        self.write("existing/web.config",
                   '<configuration>\n  <appSettings>\n    <add key="Existing" value="1"/>\n'
                   '  </appSettings>\n</configuration>\n')
        package = self.build_package({
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\", "MODE": "fast", "WEBNAME": "web"},
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [
                {"id": "CompSettings", "directory": "INSTALLDIR",
                 "files": [{"id": "SettingsXml", "name": "settings.xml", "source": settings_source}]},
                {"id": "CompExisting", "directory": "INSTALLDIR"},
            ],
            "xml_files": [
                ["SettingsXml", "settings.xml", "CompSettings", "INSTALLDIR", 0, "", "UTF-8"],
                ["WebConfig", "[WEBNAME].config", "CompExisting", "EXISTINGDIR", 0x4, "", ""],
            ],
            "xml_elements": [
                ["S_Root", "SettingsXml", None, "settings", None, 0],
                ["S_Option", "SettingsXml", "S_Root", "option[@name='a']", "[ProductVersion]", 0x10],
                ["S_Added", "SettingsXml", "S_Root", "added", None, 0x1],
                ["W_Root", "WebConfig", None, "configuration", None, 0],
                ["W_App", "WebConfig", "W_Root", "appSettings", None, 0],
                ["W_Mode", "WebConfig", "W_App", "add[@key='Mode']", None, 0x1 | 0x8],
                ["W_Existing", "WebConfig", "W_App", "add[@key='Existing']", None, 0],
            ],
            "xml_attributes": [
                ["A_By", "S_Added", "by", "[ProductName]", 0x1 | 0x4],
                ["A_ModeKey", "W_Mode", "key", "Mode", 0x1 | 0x4],
                ["A_ModeValue", "W_Mode", "value", "[MODE]", 0x1 | 0x4],
                ["A_ExistingNew", "W_Existing", "value", "2", 0x1],
                ["A_ExistingOld", "W_Existing", "value", "1", 0x2],
            ],
        })
        target = ["TARGETDIR=" + self.windows_path("target") + "\\"]
        installed_settings = self.path("target", "App", "settings.xml")
        web_config = self.path("existing", "web.config")
        temp_before = self.runtime_data_files()

        run = self.install(package, target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        for action in ("YVXmlCosting", "YVXmlInstall", "YVXmlCommit"):
            self.assertEqual(run.action_result(action), ACTION_SUCCEEDED, action)

        settings = ET.parse(installed_settings).getroot()
        self.assertEqual(settings.find("option[@name='a']").text, "1.2.3")
        self.assertEqual(self.attribute_of(settings, "added", "by"), ["YV E2E Product"])
        web = ET.parse(web_config).getroot()
        self.assertEqual(self.attribute_of(web, "appSettings/add[@key='Existing']", "value"), ["2"])
        self.assertEqual(self.attribute_of(web, "appSettings/add[@key='Mode']", "value"), ["fast"])

        lines = run.yelvin_lines()
        self.assertIn("Installing 2 XML component(s)", lines)
        self.assertIn("Installing XML Component 'CompExisting'", lines)
        self.assertIn(f"Installing XML file '{self.windows_path('existing', 'web.config')}'", lines)
        self.assertIn(f"Saving XML file '{self.windows_path('target', 'App', 'settings.xml')}'", lines)
        self.assertIn("XPath '//added' not found, creating", lines)
        self.assertFalse([l for l in lines if "unhandled exception" in l.lower()], lines)
        # The costing handed one runtime data file to every later action; the
        # commit removed it with the backups.
        published = {line.split(" = ", 1)[1] for line in run.log.splitlines()
                     if line.startswith("Property(S): YVXml") and " = " in line}
        self.assertEqual(len(published), 1, published)
        self.assertRegex(published.pop(), r"^C:\\users\\[^\\]+\\Temp\\XML[0-9A-Fa-f]+\.tmp$")
        self.assertEqual(self.runtime_data_files(), temp_before)

        run = self.uninstall(package, target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        self.assertEqual(run.action_result("YVXmlUnInstall"), ACTION_SUCCEEDED)
        web = ET.parse(web_config).getroot()
        self.assertEqual(self.attribute_of(web, "appSettings/add[@key='Existing']", "value"), ["1"])
        self.assertEqual(web.findall("appSettings/add[@key='Mode']"), [])
        # The installed file was reverted and then removed with its component.
        self.assertFalse(os.path.exists(installed_settings))
        lines = run.yelvin_lines()
        self.assertIn("Uninstalling 2 xml components", lines)
        self.assertIn(f"UnInstalling XML file '{self.windows_path('target', 'App', 'settings.xml')}'", lines)
        self.assertIn("Removing element", lines)


class AwkwardAndBrokenPackages(InstallTestCase):
    def test_awkward_but_valid_tables_install_and_uninstall_cleanly(self):
        self.write("data/o'brien.xml", "<people><person name=\"O'Brien\"/></people>")
        long_text = "w" * 2000
        package = self.build_package({
            "properties": {"DATA_[O'BRIEN]_\u00c5": self.windows_path("data") + "\\",
                           "YV_XML_FILE_ENCODING": "UTF-8"},
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [{"id": "CompData", "directory": "INSTALLDIR"}],
            "xml_file_columns": 5,
            "xml_files": [["Data'File(\u00e9)", "o'brien.xml", "CompData", "DATA_[O'BRIEN]_\u00c5", 0x4]],
            "xml_elements": [
                ["Root'", "Data'File(\u00e9)", None, "people", None, 0],
                ["Person'[1]", "Data'File(\u00e9)", "Root'", "person[@name=\"O'Brien\"]", None, 0],
                ["Note\u00df", "Data'File(\u00e9)", "Person'[1]", "note", long_text, 0x1 | 0x10 | 0x8],
                ["Orphan'", "Data'File(\u00e9)", "Nobody'", "lost", None, 0x1],
                ["LoopA", "Data'File(\u00e9)", "LoopB", "a", None, 0x1],
                ["LoopB", "Data'File(\u00e9)", "LoopA", "b", None, 0x1],
            ],
            "xml_attributes": [["Attr'[x]", "Person'[1]", "title", "Dr. [ProductName]", 0x1 | 0x4]],
        })
        target = ["TARGETDIR=" + self.windows_path("target") + "\\"]
        run = self.install(package, target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        person = ET.parse(self.path("data", "o'brien.xml")).getroot().find("person")
        self.assertEqual(person.get("title"), "Dr. YV E2E Product")
        self.assertEqual(person.find("note").text, long_text)
        self.assertIsNone(person.find("lost"))

        run = self.uninstall(package, target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        self.assertIsNone(ET.parse(self.path("data", "o'brien.xml")).getroot().find("person/note"))

    def test_a_costing_failure_fails_the_installation_and_touches_nothing(self):
        original = "<configuration><item/></configuration>"
        self.write("existing/app.config", original)
        base = {
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\"},
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [{"id": "CompConfig", "directory": "INSTALLDIR"}],
            "xml_files": [["Config", "app.config", "CompConfig", "EXISTINGDIR", 0x4]],
            "xml_elements": [["Root", "Config", None, "configuration", None, 0],
                             ["Item", "Config", "Root", "item", "changed", 0x10]],
            "xml_attributes": [],
        }
        target = ["TARGETDIR=" + self.windows_path("target") + "\\"]

        # A file row whose folder property has no value: the costing's own
        # result code (-1205) fails the action.
        no_folder = dict(base, xml_files=base["xml_files"] + [["Zed", "z.xml", "CompConfig", "NO_SUCH_DIR", 0]])
        run = self.install(self.build_package(no_folder), target, "no_folder")
        self.assertEqual(run.returncode, INSTALL_FAILED)
        self.assertNotEqual(run.action_result("YVXmlCosting"), ACTION_SUCCEEDED)
        self.assertIsNotNone(run.action_result("YVXmlCosting"))
        self.assertEqual(run.action_result("YVXmlInstall"), None)

        # An element table the installer cannot query: the failure leaves the
        # costing as an exception, which the export turns into a failed
        # action and one log line instead of a crash.
        broken = dict(base, raw_tables=[{
            "name": "YVXmlElement", "columns": [["YVXmlElement", "s72"], ["Broken", "S72"]],
            "keys": ["YVXmlElement"], "rows": [["Root", None]]}])
        run = self.install(self.build_package(broken), target, "broken")
        self.assertEqual(run.returncode, INSTALL_FAILED)
        self.assertNotEqual(run.action_result("YVXmlCosting"), ACTION_SUCCEEDED)
        self.assertIsNotNone(run.action_result("YVXmlCosting"))
        self.assertIn("An unhandled exception occurred in YVXmlCosting function", run.yelvin_lines())

        with open(self.path("existing", "app.config"), encoding="utf-8") as f:
            self.assertEqual(f.read(), original)


if __name__ == "__main__":
    e2e_kit.main()
