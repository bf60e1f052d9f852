// VerLanguageName as a French Windows answers it, for the languages the
// version resources of the products and of their companion libraries carry.
// Any other code gets the text Windows gives for a language it does not know.
#include <array>

#include "platform/module_resources.h"

namespace platform {
namespace {

struct LanguageName {
  uint16_t id;
  const char16_t* name;
};

constexpr std::array<LanguageName, 21> kLanguageNames = {{
    {0x0000, u"Langue neutre"},
    {0x0407, u"Allemand (Allemagne)"},
    {0x0807, u"Allemand (Suisse)"},
    {0x0C07, u"Allemand (Autriche)"},
    {0x1007, u"Allemand (Luxembourg)"},
    {0x0409, u"Anglais (États-Unis)"},
    {0x0809, u"Anglais (Royaume-Uni)"},
    {0x0C09, u"Anglais (Australie)"},
    {0x1009, u"Anglais (Canada)"},
    {0x040C, u"Français (France)"},
    {0x080C, u"Français (Belgique)"},
    {0x0C0C, u"Français (Canada)"},
    {0x100C, u"Français (Suisse)"},
    {0x140C, u"Français (Luxembourg)"},
    {0x180C, u"Français (Monaco)"},
    {0x0410, u"Italien (Italie)"},
    {0x0810, u"Italien (Suisse)"},
    {0x0413, u"Néerlandais (Pays-Bas)"},
    {0x0813, u"Néerlandais (Belgique)"},
    {0x0416, u"Portugais (Brésil)"},
    {0x0816, u"Portugais (Portugal)"},
}};

}  // namespace

String VerLanguageName(uint32_t languageId) {
  for (const LanguageName& language : kLanguageNames) {
    if (language.id == languageId) return language.name;
  }
  return u"Langue inconnue";
}

}  // namespace platform
