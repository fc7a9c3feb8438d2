#!/usr/bin/env python3
"""Builds an installer package (.msi) that carries YVXmlCfg.dll, its custom
actions and the XML-change tables, from a JSON description.

The package is made with msitools' msibuild, natively on Linux: every table
is written as an .idt file and imported. Files are stored uncompressed beside
the package, in the folder layout of the Directory table, which is where the
installer looks for them.

Description (JSON object; everything but "product" optional):

  product      {"name", "version", "manufacturer", "code", "upgrade_code"}
  module       path of YVXmlCfg.dll; without it the package carries no
               Binary row and none of the module's actions (a plain
               product, as a setup author has it before adding the module)
  properties   {"NAME": "value", ...}
  directories  [{"id", "parent" (default TARGETDIR), "name"}]
  components   [{"id", "directory", "guid", "condition", "files": [{"id", "name", "source"}]}]
               a component without files gets its folder as key path; one
               whose "condition" is false is not installed
  xml_files       [[key, file name, component, folder property, flags,
                    selection namespaces, encoding]]   (7 columns)
  xml_file_columns  5, 6 or 7 (default 7): rows are cut to that many
  xml_elements    [[key, file key, parent key, step, content, flags]]
  xml_attributes  [[key, element key, name, value, flags]]
  xml_locators    [[signature, parent, element, attribute, kind]]
  app_search      [[property, signature]]
  signatures      [[signature, file name]]  a DrLocator row per entry takes
                  "drlocator": [[signature, parent, path, depth]]
  actions      which of the module's actions to sequence; default: costing,
               install, uninstall, rollback, commit, finalize ("search" adds
               YVXmlAppSearch after AppSearch)
  conditions   {"YVXmlInstall": "NOT REMOVE", ...} conditions of the
               module's actions (YVXmlFinalize defaults to RollbackDisabled,
               YVXmlCommit to NOT RollbackDisabled)
  extra_actions  [{"action", "type", "source", "target", "sequence",
                   "condition"}] further custom actions, e.g. a type 19
                   error that fails the installation at a chosen point
  upgrades     [[upgrade code, version min, version max, attributes, action
                 property]] Upgrade rows; with them FindRelatedProducts and
                 RemoveExistingProducts are sequenced, the latter at
                 "remove_existing_products" (default 1450: the older product
                 is removed before anything of this one is installed)
  error_rows   true (default) adds Error rows 27519 and 27520, which the
               module's load and save prompts need
  raw_tables   [{"name", "columns": [[name, idt type], ...], "keys": [...],
                 "rows": [[...], ...]}] tables written as given, replacing
                 any table of the same name (e.g. a damaged XML table)

Usage: yvpackage.py description.json output.msi
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import uuid

# The module's custom actions: type (1 = DLL in the Binary table; 1024 runs
# it in the install script, 256 only on rollback, 512 only on commit) and
# where each runs relative to the standard actions.
MODULE_ACTIONS = {
    "search": ("YVXmlAppSearch", 1, 51),
    "costing": ("YVXmlCosting", 1, 1001),
    "uninstall": ("YVXmlUnInstall", 1025, 3450),
    "rollback": ("YVXmlRollback", 1281, 4001),
    "install": ("YVXmlInstall", 1025, 4002),
    "commit": ("YVXmlCommit", 1537, 4003),
    "finalize": ("YVXmlFinalize", 1, 6601),
    "cleanup": ("YVXmlCleanup", 1, -3),
}
DEFAULT_ACTIONS = ["costing", "install", "uninstall", "rollback", "commit", "finalize", "cleanup"]
DEFAULT_CONDITIONS = {"YVXmlFinalize": "RollbackDisabled", "YVXmlCommit": "NOT RollbackDisabled"}

STANDARD_SEQUENCE = [
    ("AppSearch", 50),
    ("CostInitialize", 800),
    ("FileCost", 900),
    ("CostFinalize", 1000),
    ("InstallValidate", 1400),
    ("InstallInitialize", 1500),
    ("ProcessComponents", 1600),
    ("UnpublishFeatures", 1800),
    ("RemoveFiles", 3500),
    ("InstallFiles", 4000),
    ("RegisterProduct", 6100),
    ("PublishFeatures", 6300),
    ("PublishProduct", 6400),
    ("InstallFinalize", 6600),
]

ERROR_ROWS = [
    (27519, "Error saving XML file [2]. Error: [3]"),
    (27520, "Error loading XML file [2]. Error: [3]"),
]

# Component attribute: a 64-bit component.
COMPONENT_64BIT = 256


class Table:
    """One table as an .idt file: column names, column types, primary keys
    and rows."""

    def __init__(self, name, columns, keys):
        self.name = name
        self.columns = [c for c, _ in columns]
        self.types = [t for _, t in columns]
        self.keys = keys
        self.rows = []
        # Written even without rows, so that the package has the table.
        self.always = False

    def add(self, *values):
        if len(values) != len(self.columns):
            raise ValueError(f"{self.name}: {len(values)} values for {len(self.columns)} columns")
        self.rows.append(values)

    def write(self, folder):
        lines = ["\t".join(self.columns), "\t".join(self.types), "\t".join([self.name] + self.keys)]
        for row in self.rows:
            lines.append("\t".join(_idt_value(v) for v in row))
        path = os.path.join(folder, self.name + ".idt")
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        return path


def _idt_value(value):
    if value is None:
        return ""
    text = str(value)
    # The .idt escapes for the three characters that structure the file.
    return text.replace("\t", "\x10").replace("\r", "\x11").replace("\n", "\x19")


def _guid():
    return "{" + str(uuid.uuid4()).upper() + "}"


def build_package(description, output):
    """Writes the package `output` and the uncompressed files beside it."""
    product = description["product"]
    output = os.path.abspath(output)
    out_dir = os.path.dirname(output)
    os.makedirs(out_dir, exist_ok=True)
    if os.path.exists(output):
        os.remove(output)

    with tempfile.TemporaryDirectory(prefix="yvpackage-") as work:
        tables = _make_tables(description, product, work, out_dir)
        subprocess.run(
            ["msibuild", output, "-s", product.get("name", "YVXmlCfg test"), product.get("manufacturer", "YVXmlCfg"),
             "x64;1033", product.get("package_code", _guid())],
            check=True)
        for table in tables:
            if table.rows or table.always:
                subprocess.run(["msibuild", output, "-i", table.write(work)], check=True, cwd=work)
    return output


def _make_tables(d, product, work, out_dir):
    properties = Table("Property", [("Property", "s72"), ("Value", "l0")], ["Property"])
    props = {
        "ProductName": product.get("name", "YVXmlCfg test"),
        "ProductVersion": product.get("version", "1.0.0"),
        "Manufacturer": product.get("manufacturer", "YVXmlCfg"),
        "ProductCode": product.get("code") or _guid(),
        "UpgradeCode": product.get("upgrade_code") or _guid(),
        "ProductLanguage": "1033",
    }
    props.update(d.get("properties", {}))
    for name, value in props.items():
        properties.add(name, value)

    directory = Table("Directory", [("Directory", "s72"), ("Directory_Parent", "S72"), ("DefaultDir", "l255")],
                      ["Directory"])
    directory.add("TARGETDIR", None, "SourceDir")
    parents = {"TARGETDIR": None}
    names = {"TARGETDIR": ""}
    for entry in d.get("directories", []):
        parent = entry.get("parent", "TARGETDIR")
        directory.add(entry["id"], parent, entry["name"])
        parents[entry["id"]] = parent
        names[entry["id"]] = entry["name"]

    def source_folder(dir_id):
        parts = []
        while dir_id:
            if names.get(dir_id):
                parts.append(names[dir_id])
            dir_id = parents.get(dir_id)
        return os.path.join(out_dir, *reversed(parts))

    component = Table("Component", [("Component", "s72"), ("ComponentId", "S38"), ("Directory_", "s72"),
                                    ("Attributes", "i2"), ("Condition", "S255"), ("KeyPath", "S72")], ["Component"])
    feature = Table("Feature", [("Feature", "s38"), ("Feature_Parent", "S38"), ("Title", "L64"),
                                ("Description", "L255"), ("Display", "I2"), ("Level", "i2"), ("Directory_", "S72"),
                                ("Attributes", "i2")], ["Feature"])
    feature.add("Main", None, "Main", "Everything", 1, 1, "TARGETDIR", 0)
    feature_components = Table("FeatureComponents", [("Feature_", "s38"), ("Component_", "s72")],
                               ["Feature_", "Component_"])
    files = Table("File", [("File", "s72"), ("Component_", "s72"), ("FileName", "l255"), ("FileSize", "i4"),
                           ("Version", "S72"), ("Language", "S20"), ("Attributes", "I2"), ("Sequence", "i2")],
                  ["File"])
    sequence = 0
    for comp in d.get("components", []):
        comp_files = comp.get("files", [])
        key_path = comp_files[0]["id"] if comp_files else None
        component.add(comp["id"], comp.get("guid") or _guid(), comp["directory"], COMPONENT_64BIT, comp.get("condition"),
                      key_path)
        feature_components.add("Main", comp["id"])
        for f in comp_files:
            sequence += 1
            target = os.path.join(source_folder(comp["directory"]), f["name"])
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(f["source"], target)
            files.add(f["id"], comp["id"], f["name"], os.path.getsize(target), None, None, 0, sequence)
    media = Table("Media", [("DiskId", "i2"), ("LastSequence", "i2"), ("DiskPrompt", "L64"), ("Cabinet", "S255"),
                            ("VolumeLabel", "S32"), ("Source", "S72")], ["DiskId"])
    media.add(1, max(sequence, 1), None, None, None, None)

    binary = Table("Binary", [("Name", "s72"), ("Data", "v0")], ["Name"])
    if d.get("module"):
        os.makedirs(os.path.join(work, "Binary"), exist_ok=True)
        shutil.copyfile(d["module"], os.path.join(work, "Binary", "YVXmlCfg.dll"))
        binary.add("YVXmlCfg", "YVXmlCfg.dll")

    custom = Table("CustomAction", [("Action", "s72"), ("Type", "i2"), ("Source", "S72"), ("Target", "S255")],
                   ["Action"])
    execute = Table("InstallExecuteSequence", [("Action", "s72"), ("Condition", "S255"), ("Sequence", "I2")],
                    ["Action"])
    for action, number in STANDARD_SEQUENCE:
        execute.add(action, None, number)
    conditions = dict(DEFAULT_CONDITIONS)
    conditions.update(d.get("conditions", {}))
    for which in d.get("actions", DEFAULT_ACTIONS if d.get("module") else []):
        name, action_type, number = MODULE_ACTIONS[which]
        custom.add(name, action_type, "YVXmlCfg", name)
        execute.add(name, conditions.get(name), number)
    upgrade = Table("Upgrade", [("UpgradeCode", "s38"), ("VersionMin", "S20"), ("VersionMax", "S20"),
                                ("Language", "S255"), ("Attributes", "i4"), ("Remove", "S255"),
                                ("ActionProperty", "s72")], ["UpgradeCode", "VersionMin", "VersionMax", "Language",
                                                             "Attributes"])
    for code, version_min, version_max, attributes, action_property in d.get("upgrades", []):
        upgrade.add(code, version_min, version_max, None, attributes, None, action_property)
    if upgrade.rows:
        execute.add("FindRelatedProducts", None, 25)
        execute.add("RemoveExistingProducts", None, d.get("remove_existing_products", 1450))
        properties.add("SecureCustomProperties", ";".join(row[-1] for row in upgrade.rows))
    for extra in d.get("extra_actions", []):
        custom.add(extra["action"], extra["type"], extra.get("source"), extra.get("target"))
        execute.add(extra["action"], extra.get("condition"), extra["sequence"])

    error = Table("Error", [("Error", "i2"), ("Message", "L0")], ["Error"])
    if d.get("error_rows", True):
        for number, text in ERROR_ROWS:
            error.add(number, text)

    tables = [properties, directory, component, feature, feature_components, files, media, binary, custom, execute,
              error, upgrade]
    tables += _xml_tables(d)
    for raw in d.get("raw_tables", []):
        table = Table(raw["name"], [tuple(c) for c in raw["columns"]], raw["keys"])
        table.always = True
        for row in raw.get("rows", []):
            table.add(*row)
        tables = [t for t in tables if t.name != table.name] + [table]
    return tables


def _xml_tables(d):
    columns = d.get("xml_file_columns", 7)
    file_columns = [("YVXmlFile", "s72"), ("FileName", "l255"), ("Component_", "s72"), ("Directory", "s72"),
                    ("Attributes", "I4"), ("SelectionNamespaces", "S0"), ("Encoding", "S64")][:columns]
    xml_files = Table("YVXmlFile", file_columns, ["YVXmlFile"])
    for row in d.get("xml_files", []):
        row = list(row) + [None] * (7 - len(row))
        xml_files.add(*row[:columns])
    elements = Table("YVXmlElement", [("YVXmlElement", "s72"), ("YVXmlFile_", "s72"), ("YVXmlElement_Parent", "S72"),
                                      ("ElementPath", "S0"), ("Text", "L0"), ("Flags", "I4")], ["YVXmlElement"])
    for row in d.get("xml_elements", []):
        elements.add(*row)
    attributes = Table("YVXmlElementAttrib", [("YVXmlElementAttrib", "s72"), ("YVXmlElement_", "s72"),
                                              ("Name", "S0"), ("Value", "L0"), ("Flags", "I4")],
                       ["YVXmlElementAttrib"])
    for row in d.get("xml_attributes", []):
        attributes.add(*row)
    locators = Table("YVXmlLocator", [("Signature", "s72"), ("Parent", "s72"), ("Element", "s0"),
                                      ("Attribute", "S255"), ("YVAttributes", "I2")], ["Signature"])
    for row in d.get("xml_locators", []):
        locators.add(*row)
    app_search = Table("AppSearch", [("Property", "s72"), ("Signature_", "s72")], ["Property", "Signature_"])
    for row in d.get("app_search", []):
        app_search.add(*row)
    signature = Table("Signature", [("Signature", "s72"), ("FileName", "s255"), ("MinVersion", "S20"),
                                    ("MaxVersion", "S20"), ("MinSize", "I4"), ("MaxSize", "I4"), ("MinDate", "I4"),
                                    ("MaxDate", "I4"), ("Languages", "S255")], ["Signature"])
    for name, file_name in d.get("signatures", []):
        signature.add(name, file_name, None, None, None, None, None, None, None)
    locator = Table("DrLocator", [("Signature_", "s72"), ("Parent", "S72"), ("Path", "S255"), ("Depth", "I2")],
                    ["Signature_", "Parent", "Path"])
    for row in d.get("drlocator", []):
        locator.add(*row)
    tables = [xml_files, elements, attributes, locators, app_search, signature, locator]
    # A description that names an XML table gets it, rows or not; one that
    # does not name it gets a package without it.
    for table, key in zip(tables[:4], ["xml_files", "xml_elements", "xml_attributes", "xml_locators"]):
        table.always = key in d
    return tables


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        description = json.load(f)
    base = os.path.dirname(os.path.abspath(argv[1]))
    # Relative source paths in a description file are relative to it.
    if description.get("module"):
        description["module"] = os.path.join(base, description["module"])
    for comp in description.get("components", []):
        for f in comp.get("files", []):
            f["source"] = os.path.join(base, f["source"])
    build_package(description, argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
