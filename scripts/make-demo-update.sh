#!/usr/bin/env bash
# Writes into DIR the files the demo update carries: the newer address
# manager library (LIBRARY, a PE file with a version resource), the companion
# files, six print lists with French, German and Italian titles, the wizard's
# texts and the RTF list of changes. Text files are Windows-1252 with CR LF.
#   make-demo-update.sh DIR LIBRARY
set -euo pipefail
dir=${1:?usage: make-demo-update.sh DIR LIBRARY}
library=${2:?usage: make-demo-update.sh DIR LIBRARY}
rm -rf "$dir"
mkdir -p "$dir"
cp "$library" "$dir/WKTorvida2.dll"

# printf's \xHH gives the Windows-1252 bytes of the accents.
printf 'Torvida\r\n' > "$dir/Updates.txt"
printf 'Mise \xe0 jour du gestionnaire d'"'"'adresses\r\n' > "$dir/AppInfo1.txt"
printf 'Cette mise \xe0 jour installe la nouvelle version du gestionnaire d'"'"'adresses\r\net ses listes d'"'"'impression dans chaque soci\xe9t\xe9.\r\n' > "$dir/AppInfo2.txt"
printf '{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 {\\b Nouveaut\\'"'"'e9s}\\par\n\\bullet  Recherche d'"'"'adresses plus rapide\\par\n\\bullet  Six listes d'"'"'impression revues\\par\n}\n' > "$dir/UpdateInfo.txt"
for companion in IBANKernel.dll ssleay32.dll libeay32.dll; do
  printf 'demo companion %s\r\n' "$companion" > "$dir/$companion"
done
printf 'Aide du gestionnaire d'"'"'adresses\r\n' > "$dir/Torvida.chm"
printf 'Torvida.chm\r\nIBANKernel.dll\r\nssleay32.dll\r\nlibeay32.dll\r\n' > "$dir/FileNames.txt"

: > "$dir/PrintLists.txt"
list() {  # list FILE FRENCH GERMAN ITALIAN
  printf '%s\r\n' "$1" >> "$dir/PrintLists.txt"
  printf 'COM:TV2 /* Torvida 2 */\r\nDES:F:%b\r\nDES:D:%b\r\nDES:I:%b\r\nPAGE:A4 PORTRAIT\r\nFIELD:NOM 40\r\nFIELD:VILLE 30\r\n' \
    "$2" "$3" "$4" > "$dir/$1"
}
list Adresses.lst 'Liste des adresses' 'Adressliste' 'Elenco indirizzi'
list Etiquettes.lst '\xc9tiquettes d'"'"'envoi' 'Versandetiketten' 'Etichette di spedizione'
list Anniversaires.lst 'Anniversaires du mois' 'Geburtstage des Monats' 'Compleanni del mese'
list Telephones.lst 'Annuaire t\xe9l\xe9phonique' 'Telefonverzeichnis' 'Elenco telefonico'
list Courriers.lst 'Courriers group\xe9s' 'Serienbriefe' 'Lettere in serie'
list Fiches.LST 'Fiches soci\xe9t\xe9s' 'Firmenbl\xe4tter' 'Schede aziende'
echo "$dir"
