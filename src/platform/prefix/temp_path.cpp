// The user's temporary folder: TEMP of HKCU\Environment, as Wine puts it in
// every program's environment.
#include "platform/files.h"
#include "platform/prefix/host_text.h"
#include "platform/prefix/wine_settings.h"
#include "platform/system.h"

namespace platform {

using namespace prefix;

namespace {

String UserProfile(const String& user) { return u"C:\\users\\" + user; }

// The variables Wine's environment gives every program of the prefix.
bool KnownVariable(const String& name, const String& user, String* value) {
  const String upper = UpperCaseName(name);
  if (upper == u"USERPROFILE") *value = UserProfile(user);
  else if (upper == u"USERNAME") *value = user;
  else if (upper == u"SYSTEMROOT" || upper == u"WINDIR") *value = u"C:\\windows";
  else if (upper == u"SYSTEMDRIVE") *value = u"C:";
  else if (upper == u"ALLUSERSPROFILE" || upper == u"PROGRAMDATA") *value = u"C:\\ProgramData";
  else if (upper == u"PUBLIC") *value = u"C:\\users\\Public";
  else if (upper == u"APPDATA") *value = UserProfile(user) + u"\\AppData\\Roaming";
  else if (upper == u"LOCALAPPDATA") *value = UserProfile(user) + u"\\AppData\\Local";
  else return false;
  return true;
}

// ExpandEnvironmentStrings: %NAME% replaced when known, kept as written
// otherwise.
String Expand(const String& text, const String& user) {
  String out;
  size_t position = 0;
  while (position < text.size()) {
    const size_t open = text.find(u'%', position);
    const size_t close = open == String::npos ? String::npos : text.find(u'%', open + 1);
    if (close == String::npos) {
      out += text.substr(position);
      break;
    }
    out += text.substr(position, open - position);
    String value;
    if (KnownVariable(text.substr(open + 1, close - open - 1), user, &value)) {
      out += value;
      position = close + 1;
    } else {
      out += text.substr(open, close - open);
      position = close;
    }
  }
  return out;
}

}  // namespace

String GetTempPath() {
  String user;
  if (!GetUserName(&user)) user = u"user";
  String temp;
  if (!ReadSettingString(RegistryRoot::CurrentUser, u"Environment", u"TEMP", &temp) || temp.empty()) {
    temp = UserProfile(user) + u"\\Temp";
  }
  temp = Expand(temp, user);
  if (temp.back() != u'\\') temp.push_back(u'\\');
  // GetTempPathW answers even for a folder that is gone; this one puts it
  // back so that the files the caller makes there can be written.
  const uint32_t saved = GetLastError();
  CreateDirectoryTree(temp);
  SetLastError(saved);
  return temp;
}

}  // namespace platform
