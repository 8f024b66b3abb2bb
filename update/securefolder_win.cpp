#include "update/securefolder_win.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace {

// Rights that let their holder change what the folder holds, or who may.
constexpr ACCESS_MASK changeRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_EA |
                                     FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The current user, SYSTEM and Administrators.
class Trustees
{
public:
    Trustees()
    {
        HANDLE token = nullptr;
        DWORD size = 0;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            GetTokenInformation(token, TokenUser, nullptr, 0, &size);
            std::vector<BYTE> user(size);
            if (size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size))
                add(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid);
            CloseHandle(token);
        }
        for (WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid}) {
            BYTE sid[SECURITY_MAX_SID_SIZE];
            size = sizeof sid;
            if (CreateWellKnownSid(type, nullptr, sid, &size))
                add(sid);
        }
    }
    bool complete() const { return sids.size() == 3; }
    // The user's SID, which is added first.
    PSID userSid() const { return sids.size() == 3 ? const_cast<BYTE *>(sids[0].data()) : nullptr; }
    bool contains(PSID sid) const
    {
        for (const std::vector<BYTE> &each : sids) {
            if (EqualSid(const_cast<BYTE *>(each.data()), sid))
                return true;
        }
        return false;
    }
    // Full control for each, inherited by all that is made inside; LocalFree it.
    PACL accessList() const
    {
        std::vector<EXPLICIT_ACCESS_W> entries(sids.size());
        for (size_t i = 0; i < sids.size(); ++i) {
            entries[i].grfAccessPermissions = FILE_ALL_ACCESS;
            entries[i].grfAccessMode = SET_ACCESS;
            entries[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
            entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
            entries[i].Trustee.ptstrName =
                reinterpret_cast<LPWSTR>(const_cast<BYTE *>(sids[i].data()));
        }
        PACL list = nullptr;
        if (SetEntriesInAclW(ULONG(entries.size()), entries.data(), nullptr, &list) !=
            ERROR_SUCCESS)
            return nullptr;
        return list;
    }

private:
    void add(PSID sid)
    {
        const BYTE *bytes = static_cast<const BYTE *>(sid);
        sids.emplace_back(bytes, bytes + GetLengthSid(sid));
    }
    std::vector<std::vector<BYTE>> sids;
};

bool othersMayChange(PACL list, const Trustees &trustees)
{
    if (!list) // no list at all: everyone may do anything
        return true;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void *entry = nullptr;
        if (!GetAce(list, i, &entry))
            return true;
        const auto *header = static_cast<const ACE_HEADER *>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(entry);
        if ((allowed->Mask & changeRights) && !trustees.contains(&allowed->SidStart))
            return true;
    }
    return false;
}

// Without `ours` nothing is changed.
SecureFolder checkExisting(const std::wstring &path, const Trustees &trustees, PACL ours)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return SecureFolder::Failed;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) // a junction leads somewhere else
        return SecureFolder::NotOurs;
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS)
        return SecureFolder::Failed;
    SecureFolder result = SecureFolder::Kept;
    if (!owner || !trustees.contains(owner))
        result = SecureFolder::NotOurs;
    else if (othersMayChange(list, trustees) && !ours)
        result = SecureFolder::Tightened;
    else if (othersMayChange(list, trustees))
        result =
            SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, ours, nullptr) == ERROR_SUCCESS
                ? SecureFolder::Tightened
                : SecureFolder::Failed;
    LocalFree(descriptor);
    return result;
}

} // namespace

SecureFolder secureFolder(const std::wstring &path)
{
    const Trustees trustees;
    PACL ours = trustees.complete() ? trustees.accessList() : nullptr;
    if (!ours)
        return SecureFolder::Failed;
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    SecureFolder result = SecureFolder::Failed;
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, ours, FALSE) &&
        SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        if (CreateDirectoryW(path.c_str(), &attributes))
            result = SecureFolder::Created;
        else if (GetLastError() == ERROR_ALREADY_EXISTS)
            result = checkExisting(path, trustees, ours);
    }
    LocalFree(ours);
    return result;
}

SecureFolder inspectFolder(const std::wstring &path)
{
    return checkExisting(path, Trustees(), nullptr);
}

std::wstring currentUserSid()
{
    const Trustees trustees;
    wchar_t *text = nullptr;
    if (!trustees.userSid() || !ConvertSidToStringSidW(trustees.userSid(), &text))
        return std::wstring();
    const std::wstring sid = text;
    LocalFree(text);
    return sid;
}
