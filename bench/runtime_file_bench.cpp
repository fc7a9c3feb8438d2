// Runtime data file benchmark: writing a bag and reading it back, against
// the floor (the same bytes written with one WriteFile and read with one
// ReadFile) and against Windows' own profile functions with the same keys.
//
// Usage: runtime_file_bench [profile sample records, default 100]
// The profile functions are far too slow for the large cases, so they run on
// one file of the sample size and their cost per key is scaled to the keys
// of each case. Their cost grows faster than the number of keys (each write
// rewrites the file), so the scaled figure flatters them.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "config/CXmlCfgPropertyBag.h"
#include "runtime_file/CIniFile.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "support/stringw.h"

namespace {

constexpr int kAttributesPerRecord = 5;
constexpr int kRepeats = 7;

double Timed(const std::function<void()>& setUp, const std::function<void()>& work) {
  setUp();
  double start = Now();
  work();
  return Now() - start;
}

void FillBag(CXmlCfgPropertyBag& bag, int records, int seed) {
  CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"MainComponent");
  component->actionState = 3;
  CXmlCfgFileProp* file = component->AddFile(L"AppConfigFile" + std::to_wstring(seed));
  file->path = L"C:\\Program Files\\Example App\\";
  file->fileName = L"app.config";
  file->fileAttributes = 0xFFFFFFFF;
  file->attributes = 1;
  file->rootElementName = L"configuration";
  file->encoding = L"UTF-8";
  for (int r = 0; r < records; ++r) {
    wchar_t expression[96];
    swprintf(expression, 96, L"/configuration/appSettings/add[@key='setting%06d']", r);
    CXmlCfgXPathProp* xpath = file->AddXPath(expression);
    xpath->action = 0x11;
    xpath->content = L"  content of record " + std::to_wstring(r) + L"  ";
    for (int a = 0; a < kAttributesPerRecord; ++a) {
      CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(L"attribute" + std::to_wstring(a));
      attribute->value = L"value " + std::to_wstring(r * 7 + a) + L" \x00E9\x4E2D";
      attribute->action = 5;
    }
  }
  for (const wchar_t* id :
       {L"YV_PROGMSG_XML_COSTING", L"YV_PROGMSG_XML_FILES", L"YV_PROGMSG_XML_CREATE_FILE",
        L"YV_PROGMSG_XML_UPDATE_FILE", L"YV_PROGMSG_XML_REMOVE_FILE", L"YV_PROGMSG_XML_ROLLBACK_FILES"}) {
    bag.progressMessages[id] = L"Configuring XML files...";
  }
}

std::string ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD got = 0;
  ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return bytes;
}

// Our writer and reader over the bags, one file each.
void OursWriteRead(const std::vector<std::unique_ptr<CXmlCfgPropertyBag>>& bags,
                   const std::vector<std::wstring>& paths) {
  for (size_t i = 0; i < bags.size(); ++i) {
    CXmlIniWriter writer(paths[i].c_str());
    bags[i]->Save(writer);
    CXmlCfgPropertyBag back;
    CXmlMsiIniLoader loader(paths[i].c_str());
    if (back.Load(loader) != 0) std::printf("read back failed!\n");
  }
}

// The same bytes, one WriteFile and one ReadFile per file.
void Floor(const std::vector<std::string>& contents, const std::vector<std::wstring>& paths) {
  for (size_t i = 0; i < paths.size(); ++i) {
    HANDLE out = CreateFileW(paths[i].c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    WriteFile(out, contents[i].data(), static_cast<DWORD>(contents[i].size()), &done, nullptr);
    CloseHandle(out);
    HANDLE in = CreateFileW(paths[i].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string back(contents[i].size(), '\0');
    ReadFile(in, &back[0], static_cast<DWORD>(back.size()), &done, nullptr);
    CloseHandle(in);
  }
}

struct Case {
  const char* name;
  int files;
  int recordsPerFile;
  double ours = 0;
  double floor = 0;
  size_t keys = 0;
  size_t bytes = 0;
};

void Run(Case& c, const std::wstring& folder) {
  std::vector<std::unique_ptr<CXmlCfgPropertyBag>> bags;
  std::vector<std::wstring> paths;
  for (int f = 0; f < c.files; ++f) {
    bags.push_back(std::make_unique<CXmlCfgPropertyBag>());
    FillBag(*bags.back(), c.recordsPerFile, f);
    paths.push_back(folder + L"bench_" + std::to_wstring(c.files) + L"_" + std::to_wstring(f) + L".ini");
  }
  auto removeFiles = [&] {
    for (const auto& path : paths) DeleteFileW(path.c_str());
  };
  removeFiles();
  OursWriteRead(bags, paths);
  std::vector<std::string> contents;
  for (const auto& path : paths) {
    contents.push_back(ReadBytes(path));
    c.bytes += contents.back().size();
    CIniFile ini(path.c_str());
    ini.Load();
    for (const auto& name : ini.SectionNames()) c.keys += ini.SectionEntries(name.c_str()).size();
  }
  // Ours and the floor take turns, so that both meet the same conditions of
  // a shared machine; the fastest run of each counts.
  c.ours = c.floor = 1e30;
  for (int i = 0; i < kRepeats; ++i) {
    c.ours = std::min(c.ours, Timed(removeFiles, [&] { OursWriteRead(bags, paths); }));
    c.floor = std::min(c.floor, Timed(removeFiles, [&] { Floor(contents, paths); }));
  }
  removeFiles();
}

// Every key of one written file through the profile functions: all written,
// then all read.
double ProfileSeconds(const std::wstring& folder, int records, size_t& keys) {
  CXmlCfgPropertyBag bag;
  FillBag(bag, records, 0);
  std::wstring source = folder + L"bench_profile_source.ini";
  std::wstring target = folder + L"bench_profile.ini";
  DeleteFileW(source.c_str());
  CXmlIniWriter writer(source.c_str());
  bag.Save(writer);
  CIniFile ini(source.c_str());
  ini.Load();
  keys = 0;
  std::vector<std::pair<std::wstring, std::vector<std::pair<std::wstring, std::wstring>>>> sections;
  for (const auto& name : ini.SectionNames()) {
    sections.emplace_back(name, ini.SectionEntries(name.c_str()));
    keys += sections.back().second.size();
  }
  return Timed([&] { DeleteFileW(target.c_str()); },
               [&] {
                 for (const auto& [name, section] : sections) {
                   for (const auto& [key, value] : section) {
                     WritePrivateProfileStringW(name.c_str(), key.c_str(), value.c_str(), target.c_str());
                   }
                 }
                 std::vector<wchar_t> buffer(20000);
                 for (const auto& [name, section] : sections) {
                   for (const auto& entry : section) {
                     GetPrivateProfileStringW(name.c_str(), entry.first.c_str(), L"", buffer.data(),
                                              static_cast<DWORD>(buffer.size()), target.c_str());
                   }
                 }
               });
}

}  // namespace

int main(int argc, char** argv) {
  int profileRecords = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  std::wstring folder(yv::temp_folder_path().c_str());

  Case oneFile{"1 file x 10,000 records", 1, 10000};
  Case thousand{"1 file x 1,000 records", 1, 1000};
  Case hundredFiles{"100 files x 100 records", 100, 100};
  for (Case* c : {&thousand, &oneFile, &hundredFiles}) Run(*c, folder);

  // What the reader spends on the records themselves, whatever their
  // source: the same bag filled in memory and destroyed.
  double records = 1e30;
  for (int i = 0; i < kRepeats; ++i) {
    records = std::min(records, Timed([] {},
                                      [] {
                                        CXmlCfgPropertyBag bag;
                                        FillBag(bag, 10000, 0);
                                      }));
  }

  size_t profileKeys = 0;
  double profile = ProfileSeconds(folder, profileRecords, profileKeys);
  double profilePerKey = profile / static_cast<double>(profileKeys);

  std::printf("Runtime data file, %d attributes per record (fastest of %d alternating runs)\n\n", kAttributesPerRecord,
              kRepeats);
  std::printf("%-26s %9s %9s %11s %11s %9s %12s %10s\n", "case", "keys", "MiB", "ours ms", "floor ms", "ours/floor",
              "profile ms*", "profile/ours");
  for (Case* c : {&thousand, &oneFile, &hundredFiles}) {
    double profileScaled = profilePerKey * static_cast<double>(c->keys);
    std::printf("%-26s %9zu %9.2f %11.1f %11.1f %9.2fx %12.0f %9.0fx\n", c->name, c->keys,
                static_cast<double>(c->bytes) / (1 << 20), c->ours * 1e3, c->floor * 1e3, c->ours / c->floor,
                profileScaled * 1e3, profileScaled / c->ours);
  }
  std::printf("\n* profile functions measured on %zu keys (%d records) in %.2f s, %.3f ms a key, scaled to each case\n",
              profileKeys, profileRecords, profile, profilePerKey * 1e3);
  std::printf("10,000 records cost %.2f times 1,000 records\n", oneFile.ours / thousand.ours);
  std::printf("the 10,000-record bag alone, filled in memory and destroyed: %.1f ms (%.2fx the floor)\n", records * 1e3,
              records / oneFile.floor);
  return 0;
}
