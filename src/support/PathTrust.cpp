#include "support/PathTrust.h"

#include <aclapi.h>
#include <sddl.h>

#include <cwchar>
#include <vector>

#include "support/FileBytes.h"
#include "support/UniqueHandle.h"

namespace yv {

namespace {

// Rights that let a holder change what an object holds or who may use it.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                     FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool SameText(const _stringw& left, const _stringw& right) {
  return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                              static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

_stringw FullPath(const _stringw& path) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::vector<wchar_t> full(size);
  DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  _stringw result(full.data());
  // The long spelling, so that PROGRA~1 and Program Files compare equal.
  size = GetLongPathNameW(result.c_str(), nullptr, 0);
  if (size == 0) return result;
  std::vector<wchar_t> long_(size);
  length = GetLongPathNameW(result.c_str(), long_.data(), size);
  return length == 0 || length >= size ? result : _stringw(long_.data());
}

// The path the system reached through `handle`, in the form callers write.
_stringw FinalPath(HANDLE handle) {
  DWORD size = GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (size == 0) return _stringw();
  std::vector<wchar_t> buffer(size + 1);
  DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), size + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length > size) return _stringw();
  std::wstring text(buffer.data(), length);
  if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) return _stringw(L"\\\\" + text.substr(8));
  if (text.rfind(L"\\\\?\\", 0) == 0) return _stringw(text.substr(4));
  return _stringw(text);
}

_stringw ParentFolder(const _stringw& path) {
  size_t slash = path.find_last_of(L'\\');
  if (slash == _stringw::npos || slash == 0) return _stringw();
  // "C:\" is the root of its drive; its parent is no folder.
  if (slash == 2 && path[1] == L':') return slash + 1 < path.size() ? _stringw(path.substr(0, 3)) : _stringw();
  return _stringw(path.substr(0, slash));
}

// The path with its trailing backslash removed, except for a drive root.
_stringw TrimTrailingSlash(_stringw path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

UniqueFileHandle OpenNoFollow(const _stringw& path, DWORD access) {
  return UniqueFileHandle(CreateFileW(ExtendedLengthPath(path).c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool IsReparsePoint(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  return !GetFileInformationByHandle(handle, &information) ||
         (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Whether no folder on the way to `path` is a reparse point (a symbolic
// link, junction or mount point).
bool NoLinkedFolderOnTheWay(const _stringw& path) {
  for (_stringw folder = ParentFolder(FullPath(path)); !folder.empty(); folder = ParentFolder(folder)) {
    if (folder.size() <= 3) return true;  // the drive's root
    UniqueFileHandle handle = OpenNoFollow(folder, FILE_READ_ATTRIBUTES);
    if (!handle || IsReparsePoint(handle.get())) return false;
  }
  return true;
}

// Whether the object opened as `handle` is what `path` names, reached without
// a link.
bool ReachedDirectly(HANDLE handle, const _stringw& path) {
  if (IsReparsePoint(handle)) return false;
  _stringw final = FinalPath(handle);
  // A system that cannot spell out a path this long (Wine beyond 259
  // characters) still shows each linked folder as a reparse point.
  _stringw full = FullPath(path);
  if (final.empty() && full.size() >= MAX_PATH) return NoLinkedFolderOnTheWay(full);
  return !final.empty() && SameText(TrimTrailingSlash(final), TrimTrailingSlash(full));
}

// One class of information about this process's token; empty when it
// cannot be read.
std::vector<BYTE> ProcessTokenInformation(TOKEN_INFORMATION_CLASS kind) {
  std::vector<BYTE> information;
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return information;
  UniqueKernelHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), kind, nullptr, 0, &size);
  information.resize(size);
  if (size == 0 || !GetTokenInformation(token.get(), kind, information.data(), size, &size)) information.clear();
  return information;
}

// The SID of the account this process runs as.
std::vector<BYTE> ProcessUserSid() {
  std::vector<BYTE> user = ProcessTokenInformation(TokenUser);
  if (user.empty()) return user;
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  auto bytes = static_cast<const BYTE*>(sid);
  return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

bool IsTrustedSid(PSID sid, const std::vector<BYTE>& self) {
  if (!sid || !IsValidSid(sid)) return false;
  if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return true;
  return !self.empty() && EqualSid(sid, const_cast<BYTE*>(self.data()));
}

}  // namespace

bool RunsElevatedOrAsLocalSystem() {
  std::vector<BYTE> elevation = ProcessTokenInformation(TokenElevation);
  if (elevation.size() >= sizeof(TOKEN_ELEVATION) &&
      reinterpret_cast<TOKEN_ELEVATION*>(elevation.data())->TokenIsElevated)
    return true;
  std::vector<BYTE> self = ProcessUserSid();
  return !self.empty() && IsWellKnownSid(self.data(), WinLocalSystemSid);
}

PathKind InspectPath(const _stringw& path) {
  UniqueFileHandle handle = OpenNoFollow(path, FILE_READ_ATTRIBUTES);
  if (!handle) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return PathKind::kPlainFile;
    _stringw parent = ParentFolder(FullPath(path));
    if (parent.empty()) return PathKind::kMissing;
    return InspectPath(parent) == PathKind::kRedirected ? PathKind::kRedirected : PathKind::kMissing;
  }
  return ReachedDirectly(handle.get(), path) ? PathKind::kPlainFile : PathKind::kRedirected;
}

bool IsTrustedObject(HANDLE handle) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, descriptor.put()) != ERROR_SUCCESS)
    return false;
  std::vector<BYTE> self = ProcessUserSid();
  if (!IsTrustedSid(owner, self) || !dacl) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return false;
    // Entries only inherited by what is created inside grant nothing here;
    // the files inside are checked on their own.
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    auto ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    if ((ace->Mask & kWriteRights) && !IsTrustedSid(&ace->SidStart, self)) return false;
  }
  return true;
}

bool IsTrustedFile(const _stringw& path) {
  UniqueFileHandle file = OpenNoFollow(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
  return file && ReachedDirectly(file.get(), path) && IsTrustedObject(file.get());
}

bool EnsurePrivateFolder(const _stringw& path) {
  std::vector<BYTE> self = ProcessUserSid();
  UniqueLocalMemory<wchar_t*> selfText;
  if (self.empty() || !ConvertSidToStringSidW(self.data(), selfText.put())) return false;
  // Protected, so nothing is inherited from a parent that users may write to.
  _stringw sddl = _stringw(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + selfText.get() + L")";
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.put(), nullptr))
    return false;
  attributes.lpSecurityDescriptor = descriptor.get();
  if (!CreateDirectoryW(path.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  UniqueFileHandle folder = OpenNoFollow(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
  return folder && ReachedDirectly(folder.get(), path) && IsTrustedObject(folder.get());
}

bool DeleteFileNoFollow(const _stringw& path) {
  UniqueFileHandle file = OpenNoFollow(path, DELETE | FILE_READ_ATTRIBUTES);
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file.get(), &information)) return false;
  // A link at the name is removed as the link it is; a path reached through
  // a linked folder is not the package's and stays.
  if (!(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !ReachedDirectly(file.get(), path))
    return false;
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool IsFileInFolder(const _stringw& path, const _stringw& folder, const wchar_t* prefix, const wchar_t* extension) {
  _stringw parent = ParentFolder(path);
  if (parent.empty() || !SameText(TrimTrailingSlash(parent), TrimTrailingSlash(folder))) return false;
  _stringw name(path.substr(parent.size() + 1));
  size_t prefixLength = std::wcslen(prefix), extensionLength = std::wcslen(extension);
  if (name.size() < prefixLength + extensionLength) return false;
  return SameText(_stringw(name.substr(0, prefixLength)), _stringw(prefix)) &&
         SameText(_stringw(name.substr(name.size() - extensionLength)), _stringw(extension));
}

}  // namespace yv
