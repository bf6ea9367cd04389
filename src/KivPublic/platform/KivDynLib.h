// A shared library of the system bound at run time by one of its file names, so that a program
// built and shipped without it still runs and can say what it lacks. Never unloaded: handles made
// by the library may live until the process ends.
#pragma once

#include <initializer_list>
#include <string>

class CKivDynLib {
public:
    // Tries the names in order (the system's search path; "libewf.so.2", "libewf.dll").
    // False with *pWhy the loader's reason for the last name tried.
    bool Load(std::initializer_list<const char*> names, std::string* pWhy);
    // The entry of that name, or null.
    void* Symbol(const char* pszName) const;
    bool IsLoaded() const { return m_pHandle != nullptr; }
    // The file name that loaded.
    const std::string& Name() const { return m_strName; }

private:
    void* m_pHandle = nullptr;
    std::string m_strName;
};
