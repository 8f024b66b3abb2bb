// The Windows protections of the update folder, built with MinGW-w64 and run under Wine: its
// access list, and the installer held from its check to its start. The other processes are this
// program again: "try <file>" does what another local user's process would. (Its start from the
// held file runs in tst_e2e_windows, in the real program.) "hold" serves tst_e2e_windows.

#include "core/ownhandle_win.h"
#include "update/heldfile_win.h"
#include "update/securefolder_win.h"

#include <windows.h>

#include <aclapi.h>
#include <process.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char *what)
{
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", what);
    ++(ok ? passed : failed);
}

// The owner ("O:") or the access list ("D:") of a file, in the security descriptor language.
std::wstring sddl(const std::wstring &path, SECURITY_INFORMATION part)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t *text = nullptr;
    std::wstring result;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, part, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, part,
                                                             &text, nullptr))
        result = text;
    LocalFree(text);
    LocalFree(descriptor);
    return result;
}

bool apply(const std::wstring &path, const wchar_t *text, SECURITY_INFORMATION part)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
    const bool ok = SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT, part,
                                          owner, nullptr, list, nullptr) == ERROR_SUCCESS;
    LocalFree(descriptor);
    return ok;
}

// Full control for the user, SYSTEM and Administrators, inherited inside, protected from above.
std::wstring ourList()
{
    HANDLE token = nullptr;
    BYTE user[256];
    DWORD size = 0;
    wchar_t *sid = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(user)->User.Sid, &sid);
    const std::wstring list =
        L"D:P(A;OICI;FA;;;" + std::wstring(sid) + L")(A;OICI;FA;;;SY)" + L"(A;OICI;FA;;;BA)";
    LocalFree(sid);
    return list;
}

std::string readAll(HeldFile &&file)
{
    std::string bytes;
    char buffer[65536];
    for (long long count; (count = file.read(buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, size_t(count));
    return bytes;
}

// Another process's attempts to write, rename and delete `file`: a bit for each that ended in
// ERROR_SHARING_VIOLATION.
int tryToChange(const std::wstring &file)
{
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    int violations = GetLastError() == ERROR_SHARING_VIOLATION ? 1 : 0;
    const std::wstring moved = file + L".moved";
    if (MoveFileExW(file.c_str(), moved.c_str(), 0))
        MoveFileExW(moved.c_str(), file.c_str(), 0);
    else
        violations |= GetLastError() == ERROR_SHARING_VIOLATION ? 2 : 0;
    if (!DeleteFileW(file.c_str()))
        violations |= GetLastError() == ERROR_SHARING_VIOLATION ? 4 : 0;
    return violations;
}

// As a virus scanner: opens `file` as soon as it is there, without delete sharing (so that it
// cannot be renamed or removed meanwhile), and holds it for `ms` once it has `size` bytes.
int holdFile(const std::wstring &file, long long size, DWORD ms)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int wait = 0; wait < 3000 && handle == INVALID_HANDLE_VALUE; ++wait, Sleep(10))
        handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER now = {};
    for (int wait = 0; wait < 3000 && GetFileSizeEx(handle, &now) && now.QuadPart < size; ++wait)
        Sleep(10);
    Sleep(ms);
    return handle != INVALID_HANDLE_VALUE && CloseHandle(handle) && now.QuadPart == size ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    wchar_t path[MAX_PATH];
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    if (argc == 3 && std::wstring(argv[1]) == L"try")
        return tryToChange(argv[2]);
    if (argc == 5 && std::wstring(argv[1]) == L"hold")
        return holdFile(argv[2], std::wcstoll(argv[3], nullptr, 10), DWORD(_wtoi(argv[4])));

    GetTempPathW(MAX_PATH, path);
    // Unique per run: the prefix and its temporary folder outlive runs, and Wine reuses ids.
    const std::wstring update = path + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(GetTickCount64()) + L"-update";
    const std::wstring probe = update + L"-probe";
    // Upstream Wine keeps no access lists: it turns them into Unix mode bits and makes one up on
    // reading (SYSTEM, the user, Everyone after the "other" bits), never protected, and it keeps
    // no other owner. What this Wine cannot show is skipped, never passed.
    CreateDirectoryW(probe.c_str(), nullptr);
    const bool keepsLists =
        apply(probe, L"D:P(A;;FA;;;SY)",
              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION) &&
        sddl(probe, DACL_SECURITY_INFORMATION) == L"D:P(A;;FA;;;SY)";
    const bool keepsOwners = apply(probe, L"O:WD", OWNER_SECURITY_INFORMATION) &&
                             sddl(probe, OWNER_SECURITY_INFORMATION) == L"O:WD";
    const auto ifKept = [](bool kept, bool ok, const char *what) {
        if (kept)
            return check(ok, what);
        std::printf("SKIP %s: this Wine does not keep it\n", what);
    };
    check(secureFolder(update) == SecureFolder::Created, "a new update folder is made");
    ifKept(keepsLists, sddl(update, DACL_SECURITY_INFORMATION) == ourList(),
           "it reads back with exactly the three entries, protected");
    check(secureFolder(update) == SecureFolder::Kept, "made again, it is kept as it is");
    check(apply(update, L"D:(A;;FW;;;WD)", DACL_SECURITY_INFORMATION) &&
              secureFolder(update) == SecureFolder::Tightened,
          "an Everyone: write entry is tightened");
    ifKept(keepsLists, sddl(update, DACL_SECURITY_INFORMATION) == ourList(),
           "afterwards only the three entries are left");
    check(secureFolder(update) == SecureFolder::Kept, "afterwards nobody else may write");
    ifKept(keepsOwners, secureFolder(probe) == SecureFolder::NotOurs,
           "a folder of another owner is refused");
    const std::wstring plainFile = update + L"\\plain";
    CloseHandle(CreateFileW(plainFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    check(secureFolder(plainFile) == SecureFolder::Failed, "a plain file in the way fails");

    const std::wstring installer = update + L"\\Glimmerpane109.exe";
    const std::wstring control = update + L"\\control.exe";
    const auto tryOther = [&](const std::wstring &file) {
        return _wspawnl(_P_WAIT, self.c_str(), L"other", L"try", file.c_str(), nullptr);
    };
    CopyFileW(self.c_str(), installer.c_str(), TRUE);
    CopyFileW(self.c_str(), control.c_str(), TRUE);
    const std::string expected = readAll(HeldFile(control));
    check(!expected.empty() && tryOther(control) == 0,
          "a file not held can be written, renamed and deleted");
    {
        HeldFile held(installer);
        check(readAll(std::move(held)) == expected, "the held installer reads whole");
        const int violations = tryOther(installer);
        check(violations & 1, "while held, another process's write ends in a sharing violation");
        check(violations & 2, "... and so does its MoveFileExW");
        check(violations & 4, "... and its DeleteFileW");
    }
    // The temporary file, the state and the installer are opened only as our own: one name, no
    // reparse point.
    const std::wstring own = update + L"\\own", secondName = update + L"\\second-name",
                       link = update + L"\\link";
    CopyFileW(self.c_str(), own.c_str(), TRUE);
    const auto opens = [](const std::wstring &file) {
        const HANDLE handle = openOwnHandle(file, GENERIC_READ, OPEN_EXISTING);
        CloseHandle(handle);
        return handle != INVALID_HANDLE_VALUE;
    };
    check(opens(own), "a plain file of one name opens");
    check(CreateHardLinkW(secondName.c_str(), own.c_str(), nullptr) && !opens(own) &&
              !opens(secondName),
          "a file with a second name is refused under either");
    if (CreateSymbolicLinkW(link.c_str(), installer.c_str(), 0))
        check(!opens(link), "a symbolic link is refused");
    else
        std::printf("SKIP a symbolic link is refused: this Wine makes none (%lu)\n",
                    GetLastError());
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
