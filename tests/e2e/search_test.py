#!/usr/bin/env python3
"""XML search end to end: the installer's AppSearch finds an XML file on the
machine through a DrLocator, YVXmlAppSearch reads an attribute value, an
element's text and an element's existence out of it into properties, and the
installation then acts on those properties: components install or not by
their conditions, and a property-setting custom action copies a found value.
"""

import os

import e2e_kit
from e2e_kit import InstallTestCase

# Longer than the 260 characters a first property read gets.
NOTES = " ".join(["Ledger notes"] * 40)

APP_XML = """<?xml version="1.0" encoding="utf-8"?>
<config>
  <database server="sql01.example.com" port="1433"/>
  <name>Contoso Ledger</name>
  <empty></empty>
  <notes>%s</notes>
  <features>
    <beta enabled="yes"/>
  </features>
</config>
""" % NOTES


class XmlSearch(InstallTestCase):
    def search_package(self, data_folder, extra_locators=(), extra_app_search=()):
        beta = self.write("source/beta.txt", "beta")
        gamma = self.write("source/gamma.txt", "gamma")
        return self.build_package({
            "properties": {
                # Defaults that a search which finds nothing must leave alone.
                "DBPORT": "none", "TIMEOUT": "30",
            },
            "directories": [{"id": "INSTALLDIR", "name": "App"}],
            "components": [
                {"id": "CompBeta", "directory": "INSTALLDIR", "condition": "HASBETA = \"1\"",
                 "files": [{"id": "BetaTxt", "name": "beta.txt", "source": beta}]},
                {"id": "CompGamma", "directory": "INSTALLDIR", "condition": "HASGAMMA",
                 "files": [{"id": "GammaTxt", "name": "gamma.txt", "source": gamma}]},
            ],
            "actions": ["search"],
            "signatures": [["AppXmlSig", "app.xml"]],
            "drlocator": [["AppXmlSig", None, data_folder, 0]],
            "app_search": [["APPXMLFILE", "AppXmlSig"], ["DBSERVER", "LocServer"], ["APPNAME", "LocName"],
                           ["HASBETA", "LocBeta"], ["HASGAMMA", "LocGamma"], ["EMPTYTEXT", "LocEmpty"],
                           ["DBPORT", "LocMissingAttr"], ["TIMEOUT", "LocNoAttrName"], ["NOTES", "LocNotes"]]
                          + list(extra_app_search),
            "xml_locators": [
                ["LocServer", "AppXmlSig", "/config/database", "server", 0],
                ["LocName", "AppXmlSig", "//name", None, 1],
                ["LocBeta", "AppXmlSig", "//features/beta", None, 2],
                ["LocGamma", "AppXmlSig", "//features/gamma", None, 2],
                ["LocEmpty", "AppXmlSig", "//empty", None, 1],
                ["LocMissingAttr", "AppXmlSig", "/config/database", "timeout", 0],
                ["LocNoAttrName", "AppXmlSig", "/config/database", None, 0],
                ["LocNotes", "AppXmlSig", "/config/notes", None, 1],
            ] + list(extra_locators),
            # Type 51 sets a property from formatted text: the found server
            # name, copied only when the search said the beta feature exists.
            "extra_actions": [
                {"action": "CopyServer", "type": 51, "source": "SEEN_SERVER", "target": "[DBSERVER]/[APPNAME]",
                 "sequence": 60, "condition": "HASBETA = \"1\""},
                {"action": "CopyGamma", "type": 51, "source": "SEEN_GAMMA", "target": "gamma was found",
                 "sequence": 61, "condition": "HASGAMMA"},
            ],
        })

    @staticmethod
    def final_properties(log):
        # The properties as the installation ended, from the verbose log's
        # closing dump ("Property(S): NAME = value"). Wine's msi.dll writes no
        # "PROPERTY CHANGE" lines, so this dump is where a set property shows.
        properties = {}
        for line in log.splitlines():
            if line.startswith("Property(S): ") and " = " in line:
                name, value = line[len("Property(S): "):].split(" = ", 1)
                properties[name] = value
        return properties

    def test_found_values_drive_conditions_and_later_actions(self):
        app_xml = self.write("data/app.xml", APP_XML)
        package = self.search_package(self.windows_path("data"),
                                      extra_locators=[["LocOrphan", "NoSuchSig", "//name", None, 1],
                                                      ["LocNullKind", "AppXmlSig", "//name", None, None]],
                                      extra_app_search=[["ORPHAN", "LocOrphan"], ["NULLKIND", "LocNullKind"]])
        run = self.install(package, ["TARGETDIR=" + self.windows_path("target") + "\\"])
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        lines = run.yelvin_lines()
        found = self.windows_path("data", "app.xml")
        self.assertIn("Searching for an XML Attribute value using the Element '/config/database' and the Attribute "
                      "'server'.", lines)
        self.assertIn("Success! The YVXmlAppSearch action set the value of the associated property to the following "
                      "value: 'sql01.example.com'.", lines)
        self.assertIn("Searching for the contents of the XML Element using the Element '//name'.", lines)
        self.assertIn("Success! The YVXmlAppSearch action set the value of the associated property to the following "
                      "value: 'Contoso Ledger'.", lines)
        self.assertIn("Searching for the existence of the XML Element using the Element '//features/beta'.", lines)
        self.assertIn("Success! The YVXmlAppSearch action set the value of the associated property to the following "
                      "value: '1'.", lines)
        # An element that is there but empty sets the property to the empty
        # text.
        self.assertIn("Success! The YVXmlAppSearch action set the value of the associated property to the following "
                      "value: ''.", lines)
        # What finds nothing says why and leaves the property alone.
        self.assertIn("Element not found using the following Element: //features/gamma. It is possible that the "
                      "element did not exist or the XPath syntax is invalid.", lines)
        self.assertIn("Attribute 'timeout' not found using the following Element: '/config/database'. Check for the "
                      "existence of the Attribute.", lines)
        self.assertIn("The XMLLocator search for the element in '/config/database' appears to have a NULL Attribute "
                      "in the YVXmlLocator table.  There can not be a NULL attribute name when searching for the "
                      "attribute value.", lines)
        self.assertIn("No AppSearch record found with a Signature of: 'NoSuchSig'", lines)
        self.assertIn("YVXmlLocator record appears to have an invalid value for YVAttributes. It must be set to 0, 1, "
                      "or 2.", lines)
        self.assertEqual(len([l for l in lines if l.startswith("Success!")]), 5, lines)
        self.assertFalse([l for l in lines if "unhandled exception" in l.lower()], lines)

        properties = self.final_properties(run.log)
        # The installer's own search found the file the locators read.
        self.assertEqual(properties.get("APPXMLFILE"), found)
        self.assertEqual(properties.get("DBSERVER"), "sql01.example.com")
        self.assertEqual(properties.get("APPNAME"), "Contoso Ledger")
        self.assertEqual(properties.get("HASBETA"), "1")
        self.assertEqual(properties.get("NOTES"), NOTES)
        self.assertNotIn("HASGAMMA", properties)
        self.assertNotIn("ORPHAN", properties)
        self.assertNotIn("NULLKIND", properties)
        # Searches that found nothing left the package's defaults alone.
        self.assertEqual(properties.get("DBPORT"), "none")
        self.assertEqual(properties.get("TIMEOUT"), "30")
        # A later action saw the found values, and only the beta condition
        # held.
        self.assertEqual(properties.get("SEEN_SERVER"), "sql01.example.com/Contoso Ledger")
        self.assertNotIn("SEEN_GAMMA", properties)
        self.assertTrue(os.path.exists(self.path("target", "App", "beta.txt")))
        self.assertFalse(os.path.exists(self.path("target", "App", "gamma.txt")))
        # Searching only reads.
        with open(app_xml, encoding="utf-8", newline="") as f:
            self.assertEqual(f.read(), APP_XML)

    def test_a_file_the_installer_did_not_find_is_reported_and_sets_nothing(self):
        package = self.search_package(self.windows_path("nowhere"))
        run = self.install(package, ["TARGETDIR=" + self.windows_path("target") + "\\"])
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        lines = run.yelvin_lines()
        self.assertIn("The location of the XML file, stored in the Property 'APPXMLFILE', is currently a NULL value.  "
                      "It appears that the AppSearch did not find the file.", lines)
        self.assertFalse([l for l in lines if l.startswith("Success!")], lines)
        properties = self.final_properties(run.log)
        self.assertNotIn("APPXMLFILE", properties)
        self.assertNotIn("DBSERVER", properties)
        self.assertFalse(os.path.exists(self.path("target", "App", "beta.txt")))
        self.assertFalse(os.path.exists(self.path("target", "App", "gamma.txt")))

    def test_a_file_that_is_not_xml_is_reported_per_row_and_the_search_goes_on(self):
        self.write("data/app.xml", "<config><name>unterminated</config>")
        package = self.search_package(self.windows_path("data"))
        run = self.install(package, ["TARGETDIR=" + self.windows_path("target") + "\\"])
        self.assertEqual(run.returncode, 0, run.log[-3000:])
        lines = run.yelvin_lines()
        broken = (f"Error opening the file '{self.windows_path('data', 'app.xml')}'. Please verify that this is a "
                  "well formed XML document.")
        # Every row that got as far as the file reports it: the NULL
        # attribute row stops before opening anything.
        self.assertEqual(lines.count(broken), 7, lines)
        self.assertFalse([l for l in lines if l.startswith("Success!")], lines)


if __name__ == "__main__":
    e2e_kit.main()
