// System error texts as a French Windows 10 gives them from
// FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM): typographic apostrophes, a
// final CR LF. Codes the program never meets have no text here; the caller
// then shows the code itself.
#include "platform/system.h"

namespace platform {

namespace {

struct Message {
  uint32_t code;
  const char16_t* text;
};

constexpr Message kMessages[] = {
    {kErrorSuccess, u"L’opération a réussi.\r\n"},
    {kErrorInvalidFunction, u"Fonction incorrecte.\r\n"},
    {kErrorFileNotFound, u"Le fichier spécifié est introuvable.\r\n"},
    {kErrorPathNotFound, u"Le chemin d’accès spécifié est introuvable.\r\n"},
    {kErrorAccessDenied, u"Accès refusé.\r\n"},
    {kErrorInvalidHandle, u"Descripteur non valide.\r\n"},
    {kErrorNotEnoughMemory, u"Les ressources mémoire disponibles sont insuffisantes pour traiter cette commande.\r\n"},
    {kErrorBadFormat, u"Tentative de chargement d’un programme de format incorrect.\r\n"},
    {kErrorInvalidData, u"Les données ne sont pas valides.\r\n"},
    {kErrorNoMoreFiles, u"Il n’y a plus de fichier.\r\n"},
    {kErrorNotReady, u"Le périphérique n’est pas prêt.\r\n"},
    {kErrorWriteFault, u"Le système ne peut pas écrire sur le périphérique spécifié.\r\n"},
    {kErrorReadFault, u"Le système ne peut pas lire à partir du périphérique spécifié.\r\n"},
    {kErrorSharingViolation,
     u"Le processus ne peut pas accéder au fichier car ce fichier est utilisé par un autre processus.\r\n"},
    {kErrorLockViolation,
     u"Le processus ne peut pas accéder au fichier car un autre processus en a verrouillé une partie.\r\n"},
    {kErrorHandleEof, u"Fin de fichier atteinte.\r\n"},
    {kErrorHandleDiskFull, u"Le disque est plein.\r\n"},
    {kErrorNotSupported, u"Cette demande n’est pas prise en charge.\r\n"},
    {kErrorFileExists, u"Le fichier existe.\r\n"},
    {kErrorInvalidParameter, u"Paramètre incorrect.\r\n"},
    {kErrorDiskFull, u"Espace insuffisant sur le disque.\r\n"},
    {kErrorInsufficientBuffer, u"La zone de données passée à un appel système est insuffisante.\r\n"},
    {kErrorInvalidName, u"La syntaxe du nom de fichier, de répertoire ou de volume est incorrecte.\r\n"},
    {kErrorInvalidLevel, u"Le niveau système d’appel n’est pas correct.\r\n"},
    {kErrorDirNotEmpty, u"Le répertoire n’est pas vide.\r\n"},
    {kErrorBadPathname, u"Le chemin d’accès spécifié n’est pas valide.\r\n"},
    {kErrorAlreadyExists, u"Impossible de créer un fichier déjà existant.\r\n"},
    {kErrorFilenameExcedRange, u"Le nom de fichier ou l’extension est trop long.\r\n"},
    {kErrorMoreData, u"Plus de données sont disponibles.\r\n"},
    {kErrorNoMoreItems, u"Il n’y a plus de données disponibles.\r\n"},
    {kErrorDirectory, u"Nom de répertoire non valide.\r\n"},
    {kErrorInvalidAddress, u"Tentative d’accès à une adresse non valide.\r\n"},
    {kErrorInvalidFlags, u"Indicateurs non valides.\r\n"},
    {kErrorBadDatabase, u"La base de données du Registre de configuration est endommagée.\r\n"},
    {kErrorRegistryCorrupt,
     u"Le Registre est endommagé. La structure de l’un des fichiers qui contient des données du Registre est "
     u"endommagée, ou l’image système du fichier en mémoire est endommagée, ou le fichier n’a pas pu être récupéré "
     u"car la copie de remplacement ou le journal est absent ou endommagé.\r\n"},
    {kErrorKeyDeleted, u"Tentative d’opération non conforme sur une clé du Registre marquée pour suppression.\r\n"},
    {kErrorNotLoggedOn,
     u"L’opération demandée n’a pas été effectuée car l’utilisateur n’a pas ouvert de session sur le réseau. Le "
     u"service spécifié n’existe pas.\r\n"},
    {kErrorBadConfiguration,
     u"Les données de configuration de ce produit sont endommagées. Contactez votre personnel de support "
     u"technique.\r\n"},
    {kErrorResourceDataNotFound, u"Le fichier image spécifié ne contient pas de section de ressources.\r\n"},
    {kErrorResourceTypeNotFound, u"Le type de ressource spécifié est introuvable dans le fichier image.\r\n"},
    {kErrorResourceNameNotFound, u"Le nom de ressource spécifié est introuvable dans le fichier image.\r\n"},
};

}  // namespace

String FormatSystemMessage(uint32_t code) {
  for (const Message& message : kMessages) {
    if (message.code == code) return message.text;
  }
  return {};
}

}  // namespace platform
