#!/usr/bin/env python3
"""yvxml-preview against the real thing: the preview applies a package's XML
changes to copies of the files in a staging folder, and `msiexec` installs the
same package for real; both must leave the same bytes. The preview also shows
the changed lines as a unified diff, reverts in uninstall mode, and refuses a
package that would touch a file outside the folders it was given.
"""

import glob
import os
import subprocess
import xml.etree.ElementTree as ET

import e2e_kit
from e2e_kit import InstallTestCase

# The pretty-printer indents with tabs and breaks lines with LF, so files
# already in that form show only the lines the package really changes.
SETTINGS_XML = ("<settings>\n"
                "\t<option name=\"a\">old</option>\n"
                "\t<log level=\"info\">file</log>\n"
                "\t<cache size=\"10\"/>\n"
                "\t<obsolete/>\n"
                "</settings>\n")
WEB_CONFIG = ("<configuration>\n"
              "\t<appSettings>\n"
              "\t\t<add key=\"Existing\" value=\"1\"/>\n"
              "\t\t<add key=\"Legacy\" value=\"yes\" note=\"drop me\"/>\n"
              "\t</appSettings>\n"
              "</configuration>\n")

# What the preview exits with when it refuses a package (and changes nothing)
# and when its command line is wrong.
REFUSED = 3
USAGE = 2


class PreviewTestCase(InstallTestCase):
    def preview(self, package, mode, folders, properties=()):
        arguments = [os.path.join(e2e_kit.BUILD, "bin", "yvxml-preview.exe"), package, mode]
        for name, folder in folders:
            arguments += ["--dir", f"{name}={folder}"]
        for name, value in properties:
            arguments += ["--property", f"{name}={value}"]
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        completed = subprocess.run([os.path.join(e2e_kit.BUILD, "wine-run")] + arguments, env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        stderr = completed.stderr.decode("utf-8", "replace")
        self.assertNotIn("page fault", stderr)
        self.assertNotIn("Unhandled exception", stderr)
        return completed.returncode, completed.stdout.decode("utf-8"), stderr

    def temporary_files(self):
        return set(glob.glob(os.path.join(self.prefix, "drive_c", "users", "*", "Temp", "*")))

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    @staticmethod
    def diff_of(output, windows_path):
        """The changed lines ("-..." and "+...") of one file's diff."""
        lines = output.splitlines()
        start = lines.index(f"--- {windows_path}") if f"--- {windows_path}" in lines else \
            lines.index(f"+++ {windows_path}") - 1
        changed = []
        for line in lines[start + 2:]:
            if line.startswith("--- ") or not line[:1] in ("-", "+", " ", "@", "\\"):
                break
            if line[:1] in ("-", "+"):
                changed.append(line)
        return changed


class PreviewMatchesInstallation(PreviewTestCase):
    def package(self):
        settings_source = self.write("source/settings.xml", SETTINGS_XML)
        return self.build_package({
            "properties": {"EXISTINGDIR": self.windows_path("existing") + "\\", "MODE": "fast", "SUFFIX": "-x"},
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [
                {"id": "CompSettings", "directory": "INSTALLDIR",
                 "files": [{"id": "SettingsXml", "name": "settings.xml", "source": settings_source}]},
                {"id": "CompExisting", "directory": "INSTALLDIR"},
            ],
            "xml_files": [
                ["SettingsXml", "settings.xml", "CompSettings", "INSTALLDIR", 0, "", "UTF-8"],
                ["WebConfig", "web.config", "CompExisting", "EXISTINGDIR", 0, "", ""],
            ],
            "xml_elements": [
                ["S_Root", "SettingsXml", None, "settings", None, 0],
                # set, append to and remove existing elements; create a new
                # one that the uninstall removes again
                ["S_Option", "SettingsXml", "S_Root", "option[@name='a']", "[ProductVersion]", 0x10],
                ["S_Log", "SettingsXml", "S_Root", "log", "+console", 0x40],
                ["S_Obsolete", "SettingsXml", "S_Root", "obsolete", None, 0x2],
                ["S_Added", "SettingsXml", "S_Root", "added", None, 0x1 | 0x8],
                ["S_Cache", "SettingsXml", "S_Root", "cache", None, 0],
                ["W_Root", "WebConfig", None, "configuration", None, 0],
                ["W_App", "WebConfig", "W_Root", "appSettings", None, 0],
                ["W_Mode", "WebConfig", "W_App", "add[@key='Mode']", None, 0x1 | 0x8],
                ["W_Existing", "WebConfig", "W_App", "add[@key='Existing']", None, 0],
                ["W_Legacy", "WebConfig", "W_App", "add[@key='Legacy']", None, 0],
            ],
            "xml_attributes": [
                ["A_By", "S_Added", "by", "[ProductName]", 0x1 | 0x4],
                ["A_CacheSize", "S_Cache", "size", "0[SUFFIX]", 0x1 | 0x10],
                ["A_CacheOld", "S_Cache", "size", "10", 0x2],
                ["A_LogLevel", "S_Log", "level", "debug", 0x1],
                ["A_ModeKey", "W_Mode", "key", "Mode", 0x1 | 0x4],
                ["A_ModeValue", "W_Mode", "value", "[MODE]", 0x1 | 0x4],
                ["A_ExistingNew", "W_Existing", "value", "2", 0x1],
                ["A_ExistingOld", "W_Existing", "value", "1", 0x2],
                ["A_LegacyNote", "W_Legacy", "note", "", 0x1 | 0x8],
            ],
        })

    def test_preview_writes_the_bytes_an_installation_writes_and_uninstall_mode_reverts(self):
        package = self.package()
        self.write("existing/web.config", WEB_CONFIG)
        self.write("staging/app/settings.xml", SETTINGS_XML)
        self.write("staging/existing/web.config", WEB_CONFIG)
        folders = [("INSTALLDIR", self.windows_path("staging", "app") + "\\"),
                   ("EXISTINGDIR", self.windows_path("staging", "existing"))]
        staged_web = self.windows_path("staging", "existing", "web.config")
        staged_settings = self.windows_path("staging", "app", "settings.xml")

        temporary_before = self.temporary_files()
        code, output, stderr = self.preview(package, "install", folders)
        self.assertEqual(code, 0, output + stderr)
        # The backup copies that the pass makes go with the preview.
        self.assertEqual(self.temporary_files(), temporary_before)
        self.assertIn(f"Installing XML file '{staged_web}'", output)
        self.assertIn("XML test returned: 0", output)
        self.assertEqual(self.diff_of(output, staged_web), [
            '-\t\t<add key="Existing" value="1"/>',
            '-\t\t<add key="Legacy" value="yes" note="drop me"/>',
            '+\t\t<add key="Existing" value="2"/>',
            '+\t\t<add key="Legacy" value="yes"/>',
            '+\t\t<add key="Mode" value="fast"/>',
        ])
        self.assertEqual(self.diff_of(output, staged_settings), [
            '-\t<option name="a">old</option>',
            '-\t<log level="info">file</log>',
            '-\t<cache size="10"/>',
            '-\t<obsolete/>',
            '+\t<option name="a">1.2.3</option>',
            '+\t<log level="debug">file+console</log>',
            '+\t<cache size="100-x"/>',
            '+\t<added by="YV E2E Product"/>',
        ])

        target = ["TARGETDIR=" + self.windows_path("target") + "\\"]
        run = self.install(package, target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        self.assertEqual(self.read("staging", "app", "settings.xml"), self.read("target", "App", "settings.xml"))
        self.assertEqual(self.read("staging", "existing", "web.config"), self.read("existing", "web.config"))

        # Uninstall mode on the installed state takes the package's changes
        # back as the real uninstallation does.
        code, output, stderr = self.preview(package, "uninstall", folders)
        self.assertEqual(code, 0, output + stderr)
        self.assertIn(f"UnInstalling XML file '{staged_web}'", output)
        self.assertIn('-\t\t<add key="Mode" value="fast"/>', self.diff_of(output, staged_web))
        self.assertIn('+\t\t<add key="Existing" value="1"/>', self.diff_of(output, staged_web))
        run = self.uninstall(package, target)
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        self.assertEqual(self.read("staging", "existing", "web.config"), self.read("existing", "web.config"))
        # The real uninstallation removes the installed file with its
        # component; the preview only reverts it.
        self.assertFalse(os.path.exists(self.path("target", "App", "settings.xml")))
        settings = ET.fromstring(self.read("staging", "app", "settings.xml"))
        self.assertIsNone(settings.find("added"))
        self.assertEqual(settings.find("cache").get("size"), "10")


class PreviewStaysInItsFolders(PreviewTestCase):
    def test_a_file_outside_every_given_folder_is_refused_and_nothing_is_touched(self):
        original = "<root><item>kept</item></root>"
        package = self.build_package({
            "properties": {"OTHERDIR": self.windows_path("other") + "\\", "MODE": "fast"},
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [{"id": "Comp", "directory": "INSTALLDIR"}],
            "xml_files": [
                ["Inside", "inside.xml", "Comp", "INSTALLDIR", 0, "", ""],
                # A file name that climbs out of its folder.
                ["Escape", "..\\outside.xml", "Comp", "INSTALLDIR", 0, "", ""],
                # A folder that no --dir gives: the package's own value points
                # elsewhere.
                ["Other", "other.xml", "Comp", "OTHERDIR", 0, "", ""],
            ],
            "xml_elements": [
                ["I_Root", "Inside", None, "root", None, 0],
                ["I_Item", "Inside", "I_Root", "item", "[MODE]", 0x10],
                ["E_Root", "Escape", None, "root", None, 0],
                ["E_Item", "Escape", "E_Root", "item", "[MODE]", 0x10],
                ["O_Root", "Other", None, "root", None, 0],
                ["O_Item", "Other", "O_Root", "item", "[MODE]", 0x10],
            ],
            "xml_attributes": [],
        })
        for name in ("stage/app/inside.xml", "stage/outside.xml", "other/other.xml"):
            self.write(name, original)

        code, output, _ = self.preview(package, "install",
                                       [("INSTALLDIR", self.windows_path("stage", "app"))])
        self.assertEqual(code, REFUSED, output)
        lines = output.splitlines()
        escape = self.windows_path("stage", "app", "..", "outside.xml")
        self.assertIn(f"Refused: XML file 'Escape' ({escape}) is outside every --dir folder", lines)
        other = self.windows_path("other", "other.xml")
        self.assertIn(f"Refused: XML file 'Other' ({other}) is outside every --dir folder", lines)
        self.assertEqual(lines[-1], "Nothing was changed.")
        self.assertNotIn("XML test returned", output)
        for name in ("stage/app/inside.xml", "stage/outside.xml", "other/other.xml"):
            self.assertEqual(self.read(name).decode(), original, name)

        # Inside any of the given folders is enough; --property overrides the
        # package's value.
        code, output, _ = self.preview(package, "install",
                                       [("INSTALLDIR", self.windows_path("stage", "app")),
                                        ("STAGE", self.windows_path("stage")),
                                        ("OTHERDIR", self.windows_path("stage", "app"))],
                                       [("MODE", "slow")])
        self.assertEqual(code, 0, output)
        for name in ("stage/app/inside.xml", "stage/outside.xml"):
            self.assertEqual(ET.fromstring(self.read(name)).find("item").text, "slow", name)
        self.assertEqual(self.read("other", "other.xml").decode(), original)

    def test_a_command_without_folders_is_refused(self):
        code, _, stderr = self.preview("C:\\nowhere.msi", "install", [])
        self.assertEqual(code, USAGE)
        self.assertIn("at least one --dir is needed", stderr)


if __name__ == "__main__":
    e2e_kit.main()
