// The shell's services the Windows program uses: the common file dialogs, the folder picker and
// "open" of a file, folder or address.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "CKivResultController.h"

// Empty when the user cancels. pszFilter is the skin's "Name (*.a *.b);;All files (*)".
std::wstring KivAskOpenFile(HWND hOwner, const std::wstring& strTitle, const std::wstring& strFilter);
std::wstring KivAskSaveFile(HWND hOwner, const std::wstring& strTitle, const std::wstring& strFilter,
                            const std::wstring& strSuggested, const wchar_t* pszDefExt);
std::wstring KivAskFolder(HWND hOwner, const std::wstring& strTitle);
void KivShellOpen(HWND hOwner, const std::wstring& strWhat);
// The user's documents folder (the profile folder when there is none).
std::wstring KivUserFolder();
// A path the core built with '/' as Windows shows it, with '\\'; the summary with its folders so.
std::string KivWinShownPath(std::string strPath);
KivRecoverSummary KivWinShownSummary(const KivRecoverSummary& sum);
// Whether the program runs with full rights (elevated).
bool KivIsElevated();
// Starts the program again through the shell's "runas" (the system asks the user for the rights)
// with these arguments; false when it was refused or cancelled.
bool KivRelaunchElevated(HWND hOwner, const std::vector<std::string>& args);
