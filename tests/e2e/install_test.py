#!/usr/bin/env python3
"""A product package that knew nothing of the module gets it from the
authoring kit (authoring/add-to-msi) with the author's tables, then goes
through yvxml-preview on copies of its files and `wine msiexec` install,
repair and uninstall: the preview must write the bytes the installation
writes, and refuse to touch files outside the folders it was given.
"""

import os
import pathlib
import subprocess
import sys
import xml.etree.ElementTree as ET

import e2e_kit
from e2e_kit import ACTION_SUCCEEDED, InstallTestCase

KIT = os.path.join(e2e_kit.ROOT, "authoring")
# Longer than the 260 characters a first property read gets.
NOTES = " ".join(["Ledger notes"] * 40)
# Keys, names, paths and XPaths with apostrophes, brackets, spaces and
# non-ASCII text; msibuild takes no table text outside Latin-1, so only the
# files' own text goes beyond it.
FOLDER, DIR = "Donn\u00e9es de l'\u00e9t\u00e9", "DIR_[O'B]_\u00c5"
WEB, CREATED = "Web'Config(\u00e9)", "Neu \u00fc\u00df.xml"
# Written as the module writes a document (tab indents, LF), so a diff shows
# only the lines the package changes.
SETTINGS_XML = '<settings>\n\t<option name="a" path="C:;">old</option>\n</settings>\n'
WEB_CONFIG = ('<configuration>\n\t<appSettings>\n\t\t<add key="Server" value="db1"/>\n'
              '\t\t<add key="Existing" value="1"/>\n\t\t<add key="O\'Brien" value="yes"/>\n'
              '\t</appSettings>\n\t<name>%s</name>\n\t<motto>\u6771\u4eac \u20ac</motto>\n\t<features>\n'
              '\t\t<beta/>\n\t</features>\n</configuration>\n' % NOTES)
# The author's rows (flags as in authoring/_Validation.idt), and the XML
# search's: an attribute, an element's text and the existence of two.
AUTHORED = {
    "YVXmlFile": [["SettingsXml", "settings.xml", "CompSettings", "INSTALLDIR", 0, "", ""],
                  ["Up", "..\\up.xml", "CompSettings", "INSTALLDIR", 0, "", ""],  # missing, so skipped
                  [WEB, "web.config", "CompConfig", DIR, 0, "", ""],
                  ["Created\u00df", CREATED, "CompConfig", DIR, 0x1 | 0x2, "", "UTF-8"]],
    "YVXmlElement": [["S_Root", "SettingsXml", "", "settings", "", 0],
                     ["S_Option", "SettingsXml", "S_Root", "option[@name='a']", "[ProductVersion]/", 0x20],
                     ["S_Added", "SettingsXml", "S_Root", "added", "", 0x1 | 0x8],
                     ["U_Root", "Up", "", "root", "x", 0x10],
                     ["W_Root'", WEB, "", "configuration", "", 0],
                     ["W_App'[1]", WEB, "W_Root'", "appSettings", "", 0],
                     ["W_Backup", WEB, "W_App'[1]", "add[@key='Backup']", "", 0x1 | 0x8],
                     ["W_Existing", WEB, "W_App'[1]", "add[@key='Existing']", "", 0],
                     ["W_O'Brien", WEB, "W_App'[1]", "add[@key=\"O'Brien\"]", "", 0x2 | 0x4],  # back on uninstall
                     ["W_Orphan", WEB, "Nobody'", "lost", "", 0x1],  # a parent that is not there
                     ["W_LoopA", WEB, "W_LoopB", "a", "", 0x1], ["W_LoopB", WEB, "W_LoopA", "b", "", 0x1],
                     ["N_Root", "Created\u00df", "", "made", "", 0],
                     ["N_Notes", "Created\u00df", "N_Root", "notes", "[NOTES]", 0x1 | 0x10]],
    "YVXmlElementAttrib": [["A_By", "S_Added", "by", "[ProductName]", 0x1 | 0x4],
                           ["A_Path", "S_Option", "path", "D:", 0x1 | 0x10],  # appended
                           ["A_Backup'[k]", "W_Backup", "key", "Backup", 0x1 | 0x4],
                           ["A_Backup'[v]", "W_Backup", "value", "[SERVER] Gr\u00f6\u00dfe", 0x1 | 0x4],
                           ["A_ExistingNew", "W_Existing", "value", "2", 0x1],
                           ["A_ExistingOld", "W_Existing", "value", "1", 0x2],
                           ["A_O'Key", "W_O'Brien", "key", "O'Brien", 0x2 | 0x4],
                           ["A_O'Value", "W_O'Brien", "value", "yes", 0x2 | 0x4]],
    "YVXmlLocator": [["LocServer", "ConfigFile", "//appSettings/add[@key='Server']", "value", 0],
                     ["LocNotes", "ConfigFile", "/configuration/name", "", 1],
                     ["LocBeta", "ConfigFile", "//features/beta", "", 2],
                     ["LocGamma", "ConfigFile", "//features/gamma", "", 2]],
    # Merged into the product's own AppSearch table, which finds the file.
    "AppSearch": [["SERVER", "LocServer"], ["NOTES", "LocNotes"], ["HASBETA", "LocBeta"], ["HASGAMMA", "LocGamma"]],
}


# The rows of a table of a package, or of the kit's when package is None:
# dicts by column name, or by their value in column key.
def export(package, table, key=None):
    text = subprocess.run(["msiinfo", "export", package, table], check=True, capture_output=True,
                          text=True).stdout if package else pathlib.Path(KIT, table + ".idt").read_text("utf-8")
    lines = text.replace("\r\n", "\n").split("\n")
    found = [dict(zip(lines[0].split("\t"), line.split("\t"))) for line in lines[3:] if line]
    return {row[key]: row for row in found} if key else found


# The changed lines ("-..." and "+...") of one file's unified diff.
def diff_of(output, windows_path):
    block = output.split(f"+++ {windows_path}\n", 1)[1].split("\n--- ", 1)[0]
    return [line for line in block.splitlines() if line[:1] in "-+"]


class Installation(InstallTestCase):
    def add_to_msi(self, package, tables):
        return subprocess.run([sys.executable, os.path.join(KIT, "add-to-msi"), package, "--dll",
                               os.path.join(e2e_kit.BUILD, "bin", "YVXmlCfg.dll")] + tables,
                              capture_output=True, text=True, cwd=self.folder)

    def preview(self, package, mode, folders, properties=()):
        return self.wine([os.path.join(e2e_kit.BUILD, "bin", "yvxml-preview.exe"), package, mode]
                         + [a for f in folders for a in ("--dir", f)]
                         + [a for p in properties for a in ("--property", p)])

    def test_kit_package_previews_installs_repairs_and_uninstalls(self):
        txt = [{"id": n, "name": n + ".txt", "source": self.write(f"source/{n}.txt", n)} for n in ("beta", "gamma")]
        package = self.build_package({
            "error_rows": False, "product": {"name": "YV Authored Product", "version": "2.0.0"},
            "properties": {DIR: f"%SystemDrive%\\yve2e\\{self.name}\\{FOLDER}\\",
                           "YV_PROGMSG_XML_UPDATE_FILE": "Writing %s, not %s"},
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [{"id": "CompSettings", "directory": "INSTALLDIR", "files": [
                               {"id": "SettingsXml", "name": "settings.xml",
                                "source": self.write("source/settings.xml", SETTINGS_XML)}]},
                           {"id": "CompConfig", "directory": "INSTALLDIR"},
                           {"id": "CompBeta", "directory": "INSTALLDIR", "condition": 'HASBETA="1"', "files": txt[:1]},
                           {"id": "CompGamma", "directory": "INSTALLDIR", "condition": "HASGAMMA", "files": txt[1:]}],
            # The product's own action sits on the number the kit would
            # choose for the costing, and sees what the XML search found.
            "extra_actions": [{"action": "SetOwn", "type": 51, "source": "OWN", "target": "[SERVER]",
                               "sequence": 1001, "condition": 'HASBETA="1"'}],
            "app_search": [["CONFIGFILE", "ConfigFile"]], "signatures": [["ConfigFile", "web.config"]],
            "drlocator": [["ConfigFile", None, self.windows_path(FOLDER) + "\\", 0]],
            "raw_tables": [{"name": "Error", "columns": [["Error", "i2"], ["Message", "L0"]], "keys": ["Error"],
                            "rows": [[25000, "The product's own message [2]"]]}],
        }, with_module=False)
        msi, tables = self.path("package", "package.msi"), []
        for name, values in AUTHORED.items():
            header = ("Property\tSignature_\ns72\ts72\nAppSearch\tProperty\tSignature_" if name == "AppSearch"
                      else pathlib.Path(KIT, name + ".idt").read_text(encoding="utf-8").strip())
            tables.append(self.write(f"authored/{name}.idt", "\r\n".join(
                header.splitlines() + ["\t".join(map(str, row)) for row in values]) + "\r\n"))
        done = self.add_to_msi(msi, tables)
        self.assertEqual(done.returncode, 0, done.stderr)

        # The product keeps its rows; the module's are the kit's, in the
        # windows of the standard actions they depend on.
        actions = export(msi, "CustomAction", "Action")
        self.assertEqual((actions.pop("SetOwn")["Type"], actions), ("51", export(None, "CustomAction", "Action")))
        self.assertEqual(export(msi, "Error", "Error")["25000"]["Message"], "The product's own message [2]")
        at = {action: int(row["Sequence"]) for action, row in export(msi, "InstallExecuteSequence", "Action").items()}
        self.assertTrue(at["AppSearch"] < at["YVXmlAppSearch"] < at["CostInitialize"] < at["CostFinalize"]
                        < at["YVXmlCosting"] < at["InstallInitialize"] < at["YVXmlUnInstall"] < at["RemoveFiles"]
                        < at["InstallFiles"] < at["YVXmlRollback"] < at["YVXmlInstall"] < at["YVXmlCommit"]
                        < at["InstallFinalize"] < at["YVXmlFinalize"] and at["SetOwn"] == 1001
                        and at["YVXmlCleanup"] == -3, at)
        # A second run replaces the module's rows instead of doubling them.
        before = [export(msi, table) for table in ("CustomAction", "InstallExecuteSequence", "Error")]
        self.assertEqual(self.add_to_msi(msi, tables).returncode, 0)
        self.assertEqual([export(msi, table) for table in ("CustomAction", "InstallExecuteSequence", "Error")], before)

        # The preview on copies, given what the search will find: refused
        # while a file lies outside every --dir folder, then what the
        # installation will write.
        self.write(f"{FOLDER}/web.config", WEB_CONFIG)
        self.write("staging/app/settings.xml", SETTINGS_XML)
        self.write("staging/web.config", WEB_CONFIG)
        files = {"settings.xml": (("staging", "app"), ("target", "App")), "web.config": (("staging",), (FOLDER,)),
                 CREATED: (("staging",), (FOLDER,))}
        folders = ["INSTALLDIR=" + self.windows_path("staging", "app") + "\\", f"{DIR}={self.windows_path('staging')}"]
        code, output, _ = self.preview(package, "install", folders[:1])
        self.assertEqual((code, output.splitlines()[-1]), (3, "Nothing was changed."), output)
        self.assertIn(f"Refused: XML file 'Up' ({self.windows_path('staging', 'app', '..', 'up.xml')}) is outside "
                      "every --dir folder", output.splitlines())
        self.assertEqual(len([line for line in output.splitlines() if line.startswith(f"Refused: XML file '{WEB}' (")
                              and line.endswith("\\web.config) is outside every --dir folder")]), 1, output)
        self.assertEqual(self.read("staging", "app", "settings.xml"), SETTINGS_XML.encode())
        temp_before = self.temp_files("*")
        code, output, stderr = self.preview(package, "install", folders, ["SERVER=db1", "NOTES=" + NOTES])
        self.assertEqual((code, self.temp_files("*")), (0, temp_before), output + stderr)
        self.assertEqual(diff_of(output, self.windows_path("staging", "web.config")), [
            '-\t\t<add key="Existing" value="1"/>', '-\t\t<add key="O\'Brien" value="yes"/>',
            '+\t\t<add key="Existing" value="2"/>', '+\t\t<add key="Backup" value="db1 Gr\u00f6\u00dfe"/>'])
        self.assertEqual(diff_of(output, self.windows_path("staging", "app", "settings.xml")), [
            '-\t<option name="a" path="C:;">old</option>', '+\t<option name="a" path="C:;D:">2.0.0/old</option>',
            '+\t<added by="YV Authored Product"/>'])

        target = ["TARGETDIR=" + self.windows_path("target") + "\\"]
        run = self.msiexec("/i", package, "install", target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        self.assertEqual([run.action_results(a) for a in ("YVXmlAppSearch", "YVXmlCosting")], [[ACTION_SUCCEEDED]] * 2)
        for name, (staged, real) in files.items():
            self.assertEqual(self.read(*staged, name), self.read(*real, name), name)
        self.assertEqual(ET.fromstring(self.read(FOLDER, CREATED)).find("notes").text, NOTES)
        found = run.properties()
        self.assertEqual([found.get(n) for n in ("OWN", "HASBETA", "HASGAMMA", "NOTES")], ["db1", "1", None, NOTES])
        self.assertEqual([os.path.exists(self.path("target", "App", n)) for n in ("beta.txt", "gamma.txt")],
                         [True, False])
        # The costing handed one runtime data file, with the digest of its
        # bytes and the installation's token, to every later action; the
        # commit removed it with the backups and the private state.
        self.assertEqual({n: v for n, v in found.items() if n.startswith("YVXml")}, dict.fromkeys(
            ["YVXmlCosting", "YVXmlInstall", "YVXmlUnInstall", "YVXmlRollback", "YVXmlFinalize", "YVXmlCommit"],
            found.get("YVXmlInstall")))
        self.assertRegex(found["YVXmlInstall"],
                         r"^C:\\users\\[^\\]+\\Temp\\XML[0-9A-Fa-f]+\.tmp\|[0-9a-f]{64}\|[0-9a-f]{32}$")
        self.assertEqual(self.temp_files(), self.temp_before)
        token = found["YVXmlInstall"].rsplit("|", 1)[1]
        self.assertFalse(os.path.exists(os.path.join(self.state_folder(), token + ".ini")), "the private state stays")
        # The author's own progress text, whose second %s is not the path's.
        self.assertIn(f"Custom Action. Writing {self.windows_path(FOLDER, 'web.config')}, not %s\n", run.log)

        # A repair finds what the install created by its XPaths and adds
        # nothing twice.
        installed = [self.read(*real, name) for name, (_, real) in files.items()]
        run = self.msiexec("/i", package, "repair", target + ["REINSTALL=ALL", "REINSTALLMODE=omus"])
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        self.assertEqual([self.read(*real, name) for name, (_, real) in files.items()], installed)
        self.assertEqual(self.temp_files(), self.temp_before)

        # The preview's uninstall mode and the real uninstallation revert
        # alike; the real one also removes the installed file with its
        # component; both delete the created file, read-only by now.
        code, output, stderr = self.preview(package, "uninstall", folders)
        self.assertEqual(code, 0, output + stderr)
        self.assertEqual(diff_of(output, self.windows_path("staging", "app", "settings.xml")),
                         ['-\t<added by="YV Authored Product"/>'])
        os.chmod(self.path(FOLDER, CREATED), 0o444)
        run = self.msiexec("/x", package, "uninstall", target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        for web in (self.read("staging", "web.config"), self.read(FOLDER, "web.config")):
            self.assertEqual(web.decode("utf-8"), WEB_CONFIG)
        gone = [("target", "App", "settings.xml"), (FOLDER, CREATED), ("staging", CREATED)]
        self.assertEqual([p for p in gone if os.path.exists(self.path(*p))], [])

    def test_wix_fragment_declares_what_the_kit_table_files_declare(self):
        # WiX v3 is not on this machine (msitools' wixl has no custom
        # tables), so the fragment is checked against the kit's table files.
        wix = "{http://schemas.microsoft.com/wix/2006/wi}"
        fragment = ET.parse(os.path.join(KIT, "YVXmlCfg.wxs")).getroot().find(wix + "Fragment")

        def declared(tag, key, *values):
            return {e.get(key): tuple(e.get(v) if v else (e.text or "").strip() for v in values)
                    for e in fragment.iter(wix + tag)}
        kinds = {("immediate", None): "1", ("deferred", "no"): "3073", ("rollback", "no"): "3329",
                 ("commit", "no"): "3585"}
        self.assertEqual({k: (kinds[v[:2]],) + v[2:] for k, v in declared(
            "CustomAction", "Id", "Execute", "Impersonate", "BinaryKey", "DllEntry").items()},
            {k: (r["Type"], r["Source"], r["Target"]) for k, r in export(None, "CustomAction", "Action").items()})
        custom = declared("Custom", "Action", "After", "Before", None)
        self.assertEqual(declared("Custom", "Action", "OnExit")["YVXmlCleanup"], ("error",))
        self.assertEqual({k: v[:2] for k, v in custom.items()}, {
            "YVXmlAppSearch": ("AppSearch", None), "YVXmlCosting": ("CostFinalize", None),
            "YVXmlUnInstall": (None, "RemoveFiles"), "YVXmlRollback": ("InstallFiles", None),
            "YVXmlInstall": ("YVXmlRollback", None), "YVXmlCommit": ("YVXmlInstall", None),
            "YVXmlFinalize": ("InstallFinalize", None), "YVXmlCleanup": (None, None)})
        self.assertEqual({k: v[2] for k, v in custom.items()},
                         {k: r["Condition"] for k, r in export(None, "InstallExecuteSequence", "Action").items()})
        self.assertEqual(declared("Error", "Id", None),
                         {k: (r["Message"],) for k, r in export(None, "Error", "Error").items()})
        self.assertEqual(declared("Property", "Id", "Value"),
                         {k: (r["Value"],) for k, r in export(None, "Property", "Property").items()})
        # Each custom table's columns: name, type, nullability and the
        # _Validation row's key table and category.
        validation = {(r["Table"], r["Column"]): r for r in export(None, "_Validation")}
        for table in ("YVXmlFile", "YVXmlElement", "YVXmlElementAttrib", "YVXmlLocator"):
            columns = [c for c in fragment.iter(wix + "CustomTable") if c.get("Id") == table][0].findall(wix + "Column")
            kinds = ["l" if c.get("Localizable") else "s" if c.get("Type") == "string" else "i" for c in columns]
            names, types, keys = (line.split("\t") for line in
                                  pathlib.Path(KIT, table + ".idt").read_text(encoding="utf-8").splitlines()[:3])
            self.assertEqual([(c.get("Id"), (k.upper() if c.get("Nullable") else k) + c.get("Width"),
                               c.get("PrimaryKey") == "yes", c.get("KeyTable") or "", c.get("Category") or "",
                               "Y" if c.get("Nullable") else "N") for c, k in zip(columns, kinds)],
                             [(n, t, n in keys[1:], validation[(table, n)]["KeyTable"],
                               validation[(table, n)]["Category"], validation[(table, n)]["Nullable"])
                              for n, t in zip(names, types)], table)


if __name__ == "__main__":
    e2e_kit.main()
