#pragma once

#include "support/stringw.h"

class CXmlCfgFileProp;
class CXmlCfgXPathProp;
class CXmlCfgXPathAttribProp;
class CYVXMLInstallEngine;
class CYVXmlFile;

// The engine's work on one XML file and on the element and attribute records
// of that file. Each returns 0 or the first failure code; a user's Ignore at a
// load or save prompt counts as success for the file.

// Backs the file up (unless it is missing and may be created), applies every
// element record in key order and saves. The file record keeps the outcome
// that rollback needs: the backup path, or that the file was created.
int InstallFile(CXmlCfgFileProp& file, CYVXMLInstallEngine& engine);
// Deletes the file or reverts its element records, as the file's flags say.
// No backup is made on uninstall.
int UninstallFile(CXmlCfgFileProp& file, CYVXMLInstallEngine& engine);
// Copies the file into a new XML*.tmp file in `folder` and records its path.
int BackupFile(CXmlCfgFileProp& file, const yv::_stringw& folder);

int InstallElement(const CXmlCfgXPathProp& element, CYVXmlFile& document);
int UninstallElement(const CXmlCfgXPathProp& element, CYVXmlFile& document);
int InstallAttribute(const CXmlCfgXPathAttribProp& attribute, CYVXmlFile& document);
int UninstallAttribute(const CXmlCfgXPathAttribProp& attribute, CYVXmlFile& document);

// Puts the backup copy back over the file, or deletes a file the install
// created. Only a backup in `backupFolder` is used, and nothing is done
// through a link. Never fails: what cannot be restored is logged.
int RollbackFile(const CXmlCfgFileProp& file, const yv::_stringw& backupFolder);
// Deletes the backup copy once the installation has succeeded, if it is one
// in `backupFolder`.
int CommitFile(const CXmlCfgFileProp& file, const yv::_stringw& backupFolder);
