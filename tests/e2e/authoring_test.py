#!/usr/bin/env python3
"""The authoring kit: a plain product package that knows nothing about the
module gets it with authoring/add-to-msi and the author's own table files,
keeps everything it had, installs through `wine msiexec` with the XML
changes applied and uninstalls with them reverted. The WiX fragment must
say what the kit's table files say.
"""

import os
import subprocess
import sys
import unittest
import uuid
import xml.etree.ElementTree as ET

import e2e_kit
from e2e_kit import ACTION_SUCCEEDED, INSTALL_FAILED, InstallTestCase

KIT = os.path.join(e2e_kit.ROOT, "authoring")
ADD_TO_MSI = os.path.join(KIT, "add-to-msi")
WIX = "{http://schemas.microsoft.com/wix/2006/wi}"
# CustomAction types: 1 a DLL from the Binary table, 1024 in the install
# script, 256 rollback only, 512 commit only, 2048 without impersonation.
EXPECTED_TYPES = {"YVXmlAppSearch": 1, "YVXmlCosting": 1, "YVXmlUnInstall": 3073, "YVXmlRollback": 3329,
                  "YVXmlInstall": 3073, "YVXmlCommit": 3585, "YVXmlFinalize": 1}


def read_idt(text):
    lines = [line for line in text.replace("\r\n", "\n").split("\n")]
    columns = lines[0].split("\t")
    rows = [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]
    return columns, lines[1].split("\t"), rows


def kit_idt(name):
    with open(os.path.join(KIT, name + ".idt"), encoding="utf-8", newline="") as f:
        return read_idt(f.read())


def export(package, table):
    text = subprocess.run(["msiinfo", "export", package, table], check=True, stdout=subprocess.PIPE).stdout
    return read_idt(text.decode("utf-8"))[2]


def write_idt(path, name, rows):
    """The kit's empty table file with the author's rows added."""
    with open(os.path.join(KIT, name + ".idt"), encoding="utf-8", newline="") as f:
        header = f.read()
    body = "".join("\t".join("" if v is None else str(v) for v in row) + "\r\n" for row in rows)
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(header + body)
    return path


def write_plain_idt(path, header, rows):
    lines = header + ["\t".join(str(v) for v in row) for row in rows]
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")
    return path


class AuthoringKit(InstallTestCase):
    def plain_package(self, description):
        """A product as a setup author has it before adding the module: no
        Binary row for it, no custom actions of it, no Error rows for it."""
        description = dict(description, error_rows=False)
        description.setdefault("product", {})
        description["product"].update(name="YV Authoring Product", version="2.0.0",
                                      code="{" + str(uuid.uuid4()).upper() + "}")
        return e2e_kit.yvpackage.build_package(description, self.path("package", "package.msi"))

    def add_to_msi(self, package, tables, *options):
        done = subprocess.run([sys.executable, ADD_TO_MSI, package, "--dll",
                               os.path.join(e2e_kit.BUILD, "bin", "YVXmlCfg.dll")] + list(options) + tables,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def test_plain_package_gets_the_module_keeps_its_rows_installs_and_uninstalls(self):
        settings_source = self.write("source/settings.xml", '<settings><option name="a">old</option></settings>')
        existing_text = ('<configuration>\n  <appSettings>\n    <add key="Server" value="db1"/>\n'
                         '  </appSettings>\n</configuration>\n')
        self.write("existing/app.config", existing_text)
        existing_folder = self.windows_path("existing") + "\\"
        package = self.plain_package({
            "properties": {"EXISTINGDIR": existing_folder,
                           # The author's own wording of a progress text.
                           "YV_PROGMSG_XML_UPDATE_FILE": "Writing settings to %s"},
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [
                {"id": "CompSettings", "directory": "INSTALLDIR",
                 "files": [{"id": "SettingsXml", "name": "settings.xml", "source": settings_source}]},
                {"id": "CompConfig", "directory": "INSTALLDIR"},
            ],
            # The product's own action sits on the number the kit would
            # choose for the costing.
            "extra_actions": [{"action": "SetOwnProperty", "type": 51, "source": "OWN", "target": "yes",
                               "sequence": 1001}],
            "raw_tables": [
                {"name": "Error", "columns": [["Error", "i2"], ["Message", "L0"]], "keys": ["Error"],
                 "rows": [[25000, "The product's own message [2]"]]},
                {"name": "_Validation",
                 "columns": [["Table", "s32"], ["Column", "s32"], ["Nullable", "s4"], ["MinValue", "I4"],
                             ["MaxValue", "I4"], ["KeyTable", "S255"], ["KeyColumn", "I2"], ["Category", "S32"],
                             ["Set", "S255"], ["Description", "S255"]],
                 "keys": ["Table", "Column"],
                 "rows": [["Property", "Property", "N", None, None, None, None, "Identifier", None, "Name"]]},
            ],
        })
        # A Binary row of the product's own, which must survive the merge.
        os.makedirs(self.path("own", "Binary"))
        logo = bytes(range(256)) * 4
        with open(self.path("own", "Binary", "logo.bin"), "wb") as f:
            f.write(logo)
        binary_idt = write_plain_idt(self.path("own", "Binary.idt"),
                                     ["Name\tData", "s72\tv0", "Binary\tName"], [["Logo", "logo.bin"]])
        subprocess.run(["msibuild", package, "-i", binary_idt], check=True, cwd=self.path("own"))

        # The author's rows: change the installed file, add a setting to the
        # existing one with a value the XML search read from it.
        authored = self.path("authored")
        os.makedirs(authored)
        tables = [
            write_idt(os.path.join(authored, "YVXmlFile.idt"), "YVXmlFile", [
                ["SettingsXml", "settings.xml", "CompSettings", "INSTALLDIR", 0, "", ""],
                ["AppConfig", "app.config", "CompConfig", "EXISTINGDIR", 0x4, "", ""],
            ]),
            write_idt(os.path.join(authored, "YVXmlElement.idt"), "YVXmlElement", [
                ["S_Root", "SettingsXml", None, "settings", None, 0],
                ["S_Option", "SettingsXml", "S_Root", "option[@name='a']", "[ProductVersion]", 0x10],
                ["A_Root", "AppConfig", None, "configuration", None, 0],
                ["A_App", "AppConfig", "A_Root", "appSettings", None, 0],
                ["A_Backup", "AppConfig", "A_App", "add[@key='Backup']", None, 0x1 | 0x8],
            ]),
            write_idt(os.path.join(authored, "YVXmlElementAttrib.idt"), "YVXmlElementAttrib", [
                ["A_BackupKey", "A_Backup", "key", "Backup", 0x1 | 0x4],
                ["A_BackupValue", "A_Backup", "value", "[SERVER]-copy", 0x1 | 0x4],
            ]),
            write_idt(os.path.join(authored, "YVXmlLocator.idt"), "YVXmlLocator", [
                ["ServerSearch", "ConfigFile", "//appSettings/add[@key='Server']", "value", 0],
            ]),
            write_plain_idt(os.path.join(authored, "AppSearch.idt"),
                            ["Property\tSignature_", "s72\ts72", "AppSearch\tProperty\tSignature_"],
                            [["CONFIGFILE", "ConfigFile"], ["SERVER", "ServerSearch"]]),
            write_plain_idt(os.path.join(authored, "Signature.idt"),
                            ["Signature\tFileName\tMinVersion\tMaxVersion\tMinSize\tMaxSize\tMinDate\tMaxDate\t"
                             "Languages", "s72\ts255\tS20\tS20\tI4\tI4\tI4\tI4\tS255", "Signature\tSignature"],
                            [["ConfigFile", "app.config", "", "", "", "", "", "", ""]]),
            write_plain_idt(os.path.join(authored, "DrLocator.idt"),
                            ["Signature_\tParent\tPath\tDepth", "s72\tS72\tS255\tI2",
                             "DrLocator\tSignature_\tParent\tPath"],
                            [["ConfigFile", "", existing_folder, 0]]),
        ]
        returncode, stdout, stderr = self.add_to_msi(package, tables)
        self.assertEqual(returncode, 0, stderr)

        # Everything the product had is still there.
        actions = {row["Action"]: row for row in export(package, "CustomAction")}
        self.assertEqual(actions["SetOwnProperty"]["Type"], "51")
        self.assertEqual({name: int(row["Type"]) for name, row in actions.items() if name.startswith("YVXml")},
                         EXPECTED_TYPES)
        self.assertEqual({row["Target"] for name, row in actions.items() if name.startswith("YVXml")},
                         set(EXPECTED_TYPES))
        errors = {row["Error"]: row["Message"] for row in export(package, "Error")}
        self.assertEqual(errors["25000"], "The product's own message [2]")
        for number in ("27519", "27520"):
            self.assertIn("[2]", errors[number])
        properties = {row["Property"]: row["Value"] for row in export(package, "Property")}
        self.assertEqual(properties["YV_PROGMSG_XML_UPDATE_FILE"], "Writing settings to %s")
        self.assertEqual(properties["EXISTINGDIR"], existing_folder)
        for name in e2e_kit.PROGRESS_TEXTS:
            self.assertTrue(properties.get(name), name)
        validation = {(row["Table"], row["Column"]) for row in export(package, "_Validation")}
        self.assertIn(("Property", "Property"), validation)
        self.assertIn(("YVXmlElement", "YVXmlElement_Parent"), validation)
        stream = subprocess.run(["msiinfo", "extract", package, "Binary.Logo"], check=True,
                                stdout=subprocess.PIPE).stdout
        self.assertEqual(stream, logo)
        stream = subprocess.run(["msiinfo", "extract", package, "Binary.YVXmlCfg"], check=True,
                                stdout=subprocess.PIPE).stdout
        with open(os.path.join(e2e_kit.BUILD, "bin", "YVXmlCfg.dll"), "rb") as f:
            self.assertEqual(stream, f.read())

        # The actions sit where they must, around the product's own action.
        sequence = {row["Action"]: int(row["Sequence"]) for row in export(package, "InstallExecuteSequence")}
        self.assertEqual(sequence["SetOwnProperty"], 1001)
        self.assertTrue(sequence["AppSearch"] < sequence["YVXmlAppSearch"] < sequence["CostInitialize"])
        self.assertTrue(sequence["CostFinalize"] < sequence["YVXmlCosting"] < sequence["InstallInitialize"])
        self.assertNotEqual(sequence["YVXmlCosting"], 1001)
        self.assertTrue(sequence["InstallInitialize"] < sequence["YVXmlUnInstall"] < sequence["RemoveFiles"])
        self.assertTrue(sequence["InstallFiles"] < sequence["YVXmlRollback"] < sequence["YVXmlInstall"]
                        < sequence["YVXmlCommit"] < sequence["InstallFinalize"] < sequence["YVXmlFinalize"])
        conditions = {row["Action"]: row["Condition"] for row in export(package, "InstallExecuteSequence")}
        self.assertEqual(conditions["YVXmlFinalize"], "RollbackDisabled")
        self.assertEqual(conditions["YVXmlCommit"], "NOT RollbackDisabled")

        # A second run changes nothing: the module's rows are replaced, not
        # doubled or moved.
        before = {t: export(package, t) for t in ("CustomAction", "InstallExecuteSequence", "Error", "Property",
                                                  "YVXmlElement", "AppSearch", "_Validation")}
        returncode, _, stderr = self.add_to_msi(package, tables)
        self.assertEqual(returncode, 0, stderr)
        for table, rows in before.items():
            self.assertEqual(sorted(sorted(r.items()) for r in export(package, table)),
                             sorted(sorted(r.items()) for r in rows), table)

        target = ["TARGETDIR=" + self.windows_path("target") + "\\"]
        temp_before = self.runtime_data_files()
        run = self.install(self.windows_path("package", "package.msi"), target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        for action in ("YVXmlAppSearch", "YVXmlCosting", "YVXmlInstall", "YVXmlCommit"):
            self.assertEqual(run.action_result(action), ACTION_SUCCEEDED, action)
        settings = ET.parse(self.path("target", "App", "settings.xml")).getroot()
        self.assertEqual(settings.find("option[@name='a']").text, "2.0.0")
        config = ET.parse(self.path("existing", "app.config")).getroot()
        self.assertEqual(self.attribute_of(config, "appSettings/add[@key='Backup']", "value"), ["db1-copy"])
        self.assertEqual(self.attribute_of(config, "appSettings/add[@key='Server']", "value"), ["db1"])
        lines = run.yelvin_lines()
        self.assertIn("Success! The YVXmlAppSearch action set the value of the associated property to the "
                      "following value: 'db1'.", lines)
        self.assertIn(f"Installing XML file '{self.windows_path('existing', 'app.config')}'", lines)
        self.assertIn(f"Saving XML file '{self.windows_path('target', 'App', 'settings.xml')}'", lines)
        self.assertEqual(self.runtime_data_files(), temp_before)

        run = self.uninstall(self.windows_path("package", "package.msi"), target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        self.assertEqual(run.action_result("YVXmlUnInstall"), ACTION_SUCCEEDED)
        self.assertIn(f"UnInstalling XML file '{self.windows_path('existing', 'app.config')}'", run.yelvin_lines())
        config = ET.parse(self.path("existing", "app.config")).getroot()
        self.assertEqual(config.findall("appSettings/add[@key='Backup']"), [])
        self.assertEqual(self.attribute_of(config, "appSettings/add[@key='Server']", "value"), ["db1"])
        self.assertFalse(os.path.exists(self.path("target", "App", "settings.xml")))

    def test_load_prompt_shows_the_kits_text_with_the_file_and_abort_fails_the_installation(self):
        broken_text = "<configuration><appSettings></configuration>"
        self.write("existing/broken.config", broken_text)
        package = self.plain_package({
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\"},
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [{"id": "CompConfig", "directory": "INSTALLDIR"}],
        })
        authored = self.path("authored")
        os.makedirs(authored)
        tables = [
            write_idt(os.path.join(authored, "YVXmlFile.idt"), "YVXmlFile",
                      [["Broken", "broken.config", "CompConfig", "EXISTINGDIR", 0, "", ""]]),
            write_idt(os.path.join(authored, "YVXmlElement.idt"), "YVXmlElement",
                      [["Root", "Broken", None, "configuration", "x", 0x10]]),
        ]
        returncode, _, stderr = self.add_to_msi(package, tables, "--no-search")
        self.assertEqual(returncode, 0, stderr)
        actions = {row["Action"] for row in export(package, "CustomAction")}
        self.assertNotIn("YVXmlAppSearch", actions)
        # The tables the author did not supply are there, empty.
        self.assertEqual(export(package, "YVXmlElementAttrib"), [])

        run = self.install(self.windows_path("package", "package.msi"),
                           ["TARGETDIR=" + self.windows_path("target") + "\\"])
        # Without a user interface nobody answers the prompt, which counts as
        # Abort: the install action fails and the file keeps its bytes.
        self.assertEqual(run.returncode, INSTALL_FAILED)
        # Deferred actions end twice in the log: when the script is written
        # and when it runs; the second is the action's own result.
        results = [line for line in run.log.splitlines()
                   if line.startswith("Action ended") and ": YVXmlInstall. Return value" in line]
        self.assertEqual(len(results), 2, results)
        self.assertFalse(results[1].endswith(f"Return value {ACTION_SUCCEEDED}."), results[1])
        prompt = run.log.find("Error loading XML file " + self.windows_path("existing", "broken.config"))
        self.assertNotEqual(prompt, -1)
        # The rollback action runs only now, after the failure: it was
        # scheduled as a rollback action, not as a deferred one.
        rolled_back = run.log.find("Rolling back XML file: '" + self.windows_path("existing", "broken.config"))
        self.assertGreater(rolled_back, prompt)
        with open(self.path("existing", "broken.config"), encoding="utf-8") as f:
            self.assertEqual(f.read(), broken_text)

    def test_an_installation_package_without_its_standard_actions_is_refused(self):
        package = self.plain_package({"directories": [{"id": "INSTALLDIR", "name": "App"}],
                                      "components": [{"id": "C", "directory": "INSTALLDIR"}]})
        subprocess.run(["msibuild", package, "-q", "DELETE FROM `InstallExecuteSequence` WHERE "
                        "`Action`='InstallFiles'"], check=True)
        returncode, _, stderr = self.add_to_msi(package, [])
        self.assertEqual(returncode, 1)
        self.assertIn("InstallFiles", stderr)


class WixFragment(unittest.TestCase):
    """The WiX fragment is compiled by WiX v3 on Windows, which this machine
    lacks (msitools' wixl has no custom tables); so it is checked against the
    kit's table files, the single description of the module's rows."""

    def test_fragment_declares_what_the_table_files_declare(self):
        root = ET.parse(os.path.join(KIT, "YVXmlCfg.wxs")).getroot()
        fragment = root.find(WIX + "Fragment")
        self.assertEqual(fragment.find(WIX + "Binary").get("Id"), "YVXmlCfg")

        kinds = {("immediate", None): 1, ("deferred", "no"): 3073, ("rollback", "no"): 3329,
                 ("commit", "no"): 3585}
        actions = {a.get("Id"): a for a in fragment.findall(WIX + "CustomAction")}
        _, _, kit_actions = kit_idt("CustomAction")
        self.assertEqual({row["Action"]: int(row["Type"]) for row in kit_actions}, EXPECTED_TYPES)
        for name, action_type in EXPECTED_TYPES.items():
            a = actions[name]
            self.assertEqual((a.get("BinaryKey"), a.get("DllEntry")), ("YVXmlCfg", name))
            self.assertEqual(kinds[(a.get("Execute"), a.get("Impersonate"))], action_type, name)

        def customs(table):
            return {c.get("Action"): c for c in fragment.find(WIX + table).findall(WIX + "Custom")}
        execute = customs("InstallExecuteSequence")
        self.assertEqual(set(execute), set(EXPECTED_TYPES))
        self.assertEqual(execute["YVXmlCosting"].get("After"), "CostFinalize")
        self.assertEqual(execute["YVXmlUnInstall"].get("Before"), "RemoveFiles")
        self.assertEqual(execute["YVXmlRollback"].get("After"), "InstallFiles")
        self.assertEqual(execute["YVXmlInstall"].get("After"), "YVXmlRollback")
        self.assertEqual(execute["YVXmlCommit"].get("After"), "YVXmlInstall")
        self.assertEqual(execute["YVXmlFinalize"].get("After"), "InstallFinalize")
        self.assertEqual(execute["YVXmlAppSearch"].get("After"), "AppSearch")
        _, _, kit_sequence = kit_idt("InstallExecuteSequence")
        conditions = {row["Action"]: row["Condition"] for row in kit_sequence}
        for name, custom in execute.items():
            self.assertEqual((custom.text or "").strip(), conditions[name], name)
        self.assertEqual(customs("InstallUISequence")["YVXmlAppSearch"].get("After"), "AppSearch")

        _, _, kit_errors = kit_idt("Error")
        errors = {e.get("Id"): e.text for e in fragment.find(WIX + "UI").findall(WIX + "Error")}
        self.assertEqual(errors, {row["Error"]: row["Message"] for row in kit_errors})
        _, _, kit_properties = kit_idt("Property")
        properties = {p.get("Id"): p.get("Value") for p in fragment.findall(WIX + "Property")}
        self.assertEqual(properties, {row["Property"]: row["Value"] for row in kit_properties})
        self.assertEqual(set(properties), set(e2e_kit.PROGRESS_TEXTS))

        # Column names, order, types and nullability as in the table files
        # and their _Validation rows.
        _, _, validation = kit_idt("_Validation")
        for table in ("YVXmlFile", "YVXmlElement", "YVXmlElementAttrib", "YVXmlLocator"):
            columns, types, _ = kit_idt(table)
            declared = [c for c in fragment.findall(WIX + "CustomTable") if c.get("Id") == table][0]
            wix_columns = declared.findall(WIX + "Column")
            self.assertEqual([c.get("Id") for c in wix_columns], columns, table)
            for column, idt_type in zip(wix_columns, types):
                kind = "s" if column.get("Type") == "string" else "i"
                if column.get("Localizable") == "yes":
                    kind = "l"
                if column.get("Nullable") == "yes":
                    kind = kind.upper()
                self.assertEqual(kind + column.get("Width"), idt_type, (table, column.get("Id")))
                row = [v for v in validation if (v["Table"], v["Column"]) == (table, column.get("Id"))]
                self.assertEqual(len(row), 1, (table, column.get("Id")))
                self.assertEqual(row[0]["Nullable"], "Y" if column.get("Nullable") == "yes" else "N")
                self.assertEqual(row[0]["KeyTable"], column.get("KeyTable") or "")
                self.assertEqual(row[0]["Category"], column.get("Category") or "")
            self.assertEqual([c.get("Id") for c in wix_columns if c.get("PrimaryKey") == "yes"], [columns[0]])


if __name__ == "__main__":
    e2e_kit.main()
