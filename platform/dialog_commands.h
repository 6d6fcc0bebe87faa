// What the text and script presenters share: the command words, the user's actions, the
// rendering of a dialog and of a box. Internal to the platform layer.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/afxdlg.h"

namespace dialog_commands {

// Words of a line; a "quoted string" is one word (\" \\ \n inside). FALSE on an open quote.
BOOL Split(const std::string& line, std::vector<CString>& words);
// The word quoted back, so that Split reads it as one word.
CString Quote(const CString& text);
BOOL ParseInt(const CString& word, int& value);
// Runs set/click/select/escape/enter. *pbKnown is FALSE when the verb is none of these.
// Returns NULL when done, else the reason it was refused.
LPCSTR Apply(CDialog& dlg, const std::vector<CString>& words, BOOL* pbKnown);
// IDOK, IDCANCEL, IDYES or IDNO for an answer that is a button of a box of nType, else 0.
int ParseAnswer(const CString& word, UINT nType);
LPCSTR AnswerName(int nAnswer);
void RenderDialog(const CDialog& dlg, std::ostream& out);
void RenderBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType, std::ostream& out);

}  // namespace dialog_commands
