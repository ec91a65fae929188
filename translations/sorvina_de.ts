<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>sorvina</name>
    <message>
        <source>Please select at least one source folder or play list</source>
        <translation>Bitte wählen Sie mindestens einen Quellordner oder eine Wiedergabeliste aus</translation>
    </message>
    <message>
        <source>Please select a valid destination folder</source>
        <translation>Bitte wählen Sie einen gültigen Zielordner aus</translation>
    </message>
    <message>
        <source>Please select a play list file</source>
        <translation>Bitte wählen Sie eine Wiedergabelistendatei aus</translation>
    </message>
    <message>
        <source>Please enter a number of MB to select</source>
        <translation>Bitte geben Sie ein, wie viele MB ausgewählt werden sollen</translation>
    </message>
    <message>
        <source>Please enter a number of hours to select</source>
        <translation>Bitte geben Sie ein, wie viele Stunden ausgewählt werden sollen</translation>
    </message>
    <message>
        <source>No MP3s found</source>
        <translation>Keine MP3-Dateien gefunden</translation>
    </message>
    <message>
        <source>Can&apos;t open play list for writing</source>
        <translation>Die Wiedergabeliste kann nicht zum Schreiben geöffnet werden</translation>
    </message>
    <message>
        <source>Can&apos;t write play list</source>
        <translation>Die Wiedergabeliste kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Can&apos;t open settings file for writing</source>
        <translation>Die Einstellungsdatei kann nicht zum Schreiben geöffnet werden</translation>
    </message>
    <message>
        <source>Can&apos;t write settings file</source>
        <translation>Die Einstellungsdatei kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Free space can only be filled when copying files</source>
        <translation>Freier Speicherplatz kann nur beim Kopieren von Dateien gefüllt werden</translation>
    </message>
    <message>
        <source>The destination does not tell its free space; please enter a number of MB</source>
        <translation>Das Ziel gibt seinen freien Speicherplatz nicht an; bitte geben Sie eine Anzahl MB ein</translation>
    </message>
    <message>
        <source>Writing to the device failed; the copied files may not all be complete</source>
        <translation>Das Schreiben auf das Gerät ist fehlgeschlagen; möglicherweise sind nicht alle kopierten Dateien vollständig</translation>
    </message>
    <message>
        <source>Another fill of this destination is under way; please try again when it is done</source>
        <translation>Dieses Ziel wird gerade schon befüllt; bitte versuchen Sie es erneut, wenn das abgeschlossen ist</translation>
    </message>
    <message>
        <source>Please give the playlist on the device a name ending in .m3u8, inside the destination folder</source>
        <translation>Bitte geben Sie der Wiedergabeliste auf dem Gerät einen Namen, der auf .m3u8 endet und im Zielordner liegt</translation>
    </message>
    <message>
        <source>Writing to the device…</source>
        <translation>Schreiben auf das Gerät …</translation>
    </message>
    <message>
        <source>Creating Playlist</source>
        <translation>Wiedergabeliste wird erstellt</translation>
    </message>
    <message>
        <source>a link is in the way</source>
        <translation>eine Verknüpfung steht im Weg</translation>
    </message>
    <message>
        <source>it leads onto another file system</source>
        <translation>der Weg dorthin führt auf ein anderes Dateisystem</translation>
    </message>
    <message>
        <source>it is larger than any record written here</source>
        <translation>sie ist größer als jede hier geschriebene Aufzeichnung</translation>
    </message>
    <message>
        <source>it is no record of fills that this version can read</source>
        <translation>sie ist keine Aufzeichnung von Befüllungen, die diese Version lesen kann</translation>
    </message>
    <message>
        <source>it is damaged or was changed by hand</source>
        <translation>sie ist beschädigt oder wurde von Hand geändert</translation>
    </message>
    <message>
        <source>it names files outside the destination</source>
        <translation>sie nennt Dateien außerhalb des Ziels</translation>
    </message>
    <message>
        <source>it is no regular file</source>
        <translation>sie ist keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>The record of earlier fills in %1 was ignored: %2</source>
        <translation>Die Aufzeichnung früherer Befüllungen in %1 wurde übergangen: %2</translation>
    </message>
    <message>
        <source>No record of this fill can be kept in %1 (%2); the songs of the previous fill were left in place</source>
        <translation>Diese Befüllung kann in %1 nicht aufgezeichnet werden (%2); die Titel der vorigen Befüllung bleiben, wo sie sind</translation>
    </message>
    <message>
        <source>No record of this fill can be kept in %1 (%2)</source>
        <translation>Diese Befüllung kann in %1 nicht aufgezeichnet werden (%2)</translation>
    </message>
    <message>
        <source>Every file found was chosen by the last fill of this destination; nothing was chosen</source>
        <translation>Jede gefundene Datei wurde schon bei der letzten Befüllung dieses Ziels ausgewählt; es wurde nichts ausgewählt</translation>
    </message>
    <message>
        <source>Every file found was chosen by the last playlist written to this file; nothing was chosen</source>
        <translation>Jede gefundene Datei stand schon in der letzten in diese Datei geschriebenen Wiedergabeliste; es wurde nichts ausgewählt</translation>
    </message>
    <message>
        <source>Every file found was chosen by the last %1 fills of this destination; nothing was chosen</source>
        <translation>Jede gefundene Datei wurde schon bei den letzten %1 Befüllungen dieses Ziels ausgewählt; es wurde nichts ausgewählt</translation>
    </message>
    <message>
        <source>Every file found was chosen by the last %1 playlists written to this file; nothing was chosen</source>
        <translation>Jede gefundene Datei stand schon in den letzten %1 in diese Datei geschriebenen Wiedergabelisten; es wurde nichts ausgewählt</translation>
    </message>
    <message>
        <source>%1 file of the previous fill could not be removed (%2)</source>
        <translation>%1 Datei der vorigen Befüllung konnte nicht entfernt werden (%2)</translation>
    </message>
    <message>
        <source>%1 files of the previous fill could not be removed (%2)</source>
        <translation>%1 Dateien der vorigen Befüllung konnten nicht entfernt werden (%2)</translation>
    </message>
    <message>
        <source>The record of this fill could not be written to %1 (%2)</source>
        <translation>Die Aufzeichnung dieser Befüllung konnte nicht nach %1 geschrieben werden (%2)</translation>
    </message>
    <message>
        <source>Nothing chosen: the smallest file needs %1, more than the free space (%2)</source>
        <translation>Nichts ausgewählt: Die kleinste Datei braucht %1, mehr als der freie Speicherplatz (%2)</translation>
    </message>
    <message>
        <source>Nothing chosen: the first file drawn needs %1, more than the free space (%2)</source>
        <translation>Nichts ausgewählt: Die zuerst gezogene Datei braucht %1, mehr als der freie Speicherplatz (%2)</translation>
    </message>
    <message>
        <source>Nothing chosen: the shortest file (%1) is longer than %2</source>
        <translation>Nichts ausgewählt: Die kürzeste Datei (%1) ist länger als %2</translation>
    </message>
    <message>
        <source>Nothing chosen: the first file drawn (%1) is longer than %2</source>
        <translation>Nichts ausgewählt: Die zuerst gezogene Datei (%1) ist länger als %2</translation>
    </message>
    <message>
        <source>Nothing chosen: the smallest file (%1) is larger than %2</source>
        <translation>Nichts ausgewählt: Die kleinste Datei (%1) ist größer als %2</translation>
    </message>
    <message>
        <source>Nothing chosen: the first file drawn (%1) is larger than %2</source>
        <translation>Nichts ausgewählt: Die zuerst gezogene Datei (%1) ist größer als %2</translation>
    </message>
    <message>
        <source>, no earlier fill to replace</source>
        <translation>, keine frühere Befüllung zu ersetzen</translation>
    </message>
    <message>
        <source>, %1 to replace</source>
        <translation>, %1 zu ersetzen</translation>
    </message>
    <message>
        <source>, %1 replaced</source>
        <translation>, %1 ersetzt</translation>
    </message>
    <message>
        <source>, %1 to keep</source>
        <translation>, %1 zu behalten</translation>
    </message>
    <message>
        <source>, %1 kept</source>
        <translation>, %1 behalten</translation>
    </message>
    <message>
        <source>, %1 left in place</source>
        <translation>, %1 belassen</translation>
    </message>
    <message>
        <source>Would copy %1 %2 to %3</source>
        <translation>Würde %1 %2 nach %3 kopieren</translation>
    </message>
    <message>
        <source>Copied %1 %2 to %3</source>
        <translation>%1 %2 nach %3 kopiert</translation>
    </message>
    <message>
        <source>Would write a playlist of %1 %2 to %3</source>
        <translation>Würde eine Wiedergabeliste mit %1 %2 nach %3 schreiben</translation>
    </message>
    <message>
        <source>Wrote a playlist of %1 %2 to %3</source>
        <translation>Wiedergabeliste mit %1 %2 nach %3 geschrieben</translation>
    </message>
    <message>
        <source>%1 byte</source>
        <translation>%1 Byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 TB</translation>
    </message>
    <message>
        <source>%1 PB</source>
        <translation>%1 PB</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>Cancelled after %1 of %2</source>
        <translation>Abgebrochen nach %1 von %2</translation>
    </message>
    <message>
        <source>Nothing chosen</source>
        <translation>Nichts ausgewählt</translation>
    </message>
    <message>
        <source>, %1 skipped</source>
        <translation>, %1 übersprungen</translation>
    </message>
    <message>
        <source>, %1 failed</source>
        <translation>, %1 fehlgeschlagen</translation>
    </message>
    <message>
        <source>Is a folder; only files are copied</source>
        <translation>Ist ein Ordner; kopiert werden nur Dateien</translation>
    </message>
    <message>
        <source>Not a regular file; only files are copied</source>
        <translation>Keine gewöhnliche Datei; kopiert werden nur Dateien</translation>
    </message>
    <message>
        <source>Source and target are the same file</source>
        <translation>Quelle und Ziel sind dieselbe Datei</translation>
    </message>
    <message>
        <source>The path names no file or folder</source>
        <translation>Der Pfad bezeichnet weder eine Datei noch einen Ordner</translation>
    </message>
    <message>
        <source>No free name for a second copy</source>
        <translation>Kein freier Name für eine zweite Kopie</translation>
    </message>
    <message>
        <source>%1
This is not a valid folder.</source>
        <translation>%1
Dies ist kein gültiger Ordner.</translation>
    </message>
    <message>
        <source>%1
The drive is invalid.</source>
        <translation>%1
Das Laufwerk ist ungültig.</translation>
    </message>
    <message>
        <source>%1
This is a file not a directory.</source>
        <translation>%1
Dies ist eine Datei, kein Verzeichnis.</translation>
    </message>
    <message>
        <source>%1
This folder does not exist.

Do you want to create it?</source>
        <translation>%1
Dieser Ordner existiert nicht.

Möchten Sie ihn erstellen?</translation>
    </message>
    <message>
        <source>You cannot create this folder.
The medium may be write-protected.</source>
        <translation>Sie können diesen Ordner nicht erstellen.
Das Medium ist möglicherweise schreibgeschützt.</translation>
    </message>
    <message>
        <source>You do not have permission to create
this folder on the network.</source>
        <translation>Sie haben keine Berechtigung, diesen Ordner
im Netzwerk zu erstellen.</translation>
    </message>
    <message>
        <source>You cannot create this folder
as the CD ROM medium is read-only.</source>
        <translation>Sie können diesen Ordner nicht erstellen,
da das CD-ROM-Medium schreibgeschützt ist.</translation>
    </message>
    <message>
        <source>You do not have permission
to create this folder.</source>
        <translation>Sie haben keine Berechtigung,
diesen Ordner zu erstellen.</translation>
    </message>
    <message>
        <source>You do not have permission or
otherwise cannot create this folder.</source>
        <translation>Sie haben keine Berechtigung oder können
diesen Ordner aus anderen Gründen nicht erstellen.</translation>
    </message>
    <message>
        <source>The destination %1 went away during the copy; nothing more was copied to it</source>
        <translation>Das Ziel %1 ist während des Kopierens verschwunden; es wurde nichts mehr dorthin kopiert</translation>
    </message>
    <message>
        <source>This player has no record of an earlier fill</source>
        <translation>Dieses Gerät hat keine Aufzeichnung einer früheren Befüllung</translation>
    </message>
    <message>
        <source>it belongs to another user</source>
        <translation>sie gehört einem anderen Benutzer</translation>
    </message>
    <message>
        <source>The last fill of %1 was cut off part-way; the %2 songs it left there are recorded as its own</source>
        <translation>Die letzte Befüllung von %1 wurde mittendrin abgebrochen; die %2 Titel, die sie dort hinterlassen hat, werden als ihre aufgezeichnet</translation>
    </message>
    <message>
        <source>%1 file (%2) on it is a copy of a song in the sources</source>
        <translation>%1 Datei (%2) darauf ist eine Kopie eines Titels aus den Quellen</translation>
    </message>
    <message>
        <source>%1 files (%2) on it are copies of songs in the sources</source>
        <translation>%1 Dateien (%2) darauf sind Kopien von Titeln aus den Quellen</translation>
    </message>
    <message>
        <source>This player has no record of an earlier fill. %1. Replace them as the previous fill? The songs stay in the sources.</source>
        <translation>Dieses Gerät hat keine Aufzeichnung einer früheren Befüllung. %1. Sollen sie als vorige Befüllung ersetzt werden? Die Titel bleiben in den Quellen erhalten.</translation>
    </message>
    <message>
        <source>A link is in the way; nothing is copied through it</source>
        <translation>Eine Verknüpfung steht im Weg; durch sie wird nichts kopiert</translation>
    </message>
    <message>
        <source>It leads onto another file system</source>
        <translation>Der Pfad führt auf ein anderes Dateisystem</translation>
    </message>
    <message>
        <source>The device kept fewer bytes than were written; the file was removed</source>
        <translation>Das Gerät hat weniger Bytes behalten als geschrieben wurden; die Datei wurde entfernt</translation>
    </message>
    <message>
        <source>This device cannot replace a file; nothing was replaced</source>
        <translation>Dieses Gerät kann keine Datei ersetzen; nichts wurde ersetzt</translation>
    </message>
    <message>
        <source>The player profile %1 has a bad value at line %2, %3: %4</source>
        <translation>Das Geräteprofil %1 hat in Zeile %2 einen ungültigen Wert, %3: %4</translation>
    </message>
    <message>
        <source>The player profile %1 cannot be read at line %2: %3</source>
        <translation>Das Geräteprofil %1 ist in Zeile %2 nicht lesbar: %3</translation>
    </message>
    <message>
        <source>There is no player profile named %1</source>
        <translation>Es gibt kein Geräteprofil namens %1</translation>
    </message>
    <message>
        <source>The player profile %1 cannot be read: %2</source>
        <translation>Das Geräteprofil %1 ist nicht lesbar: %2</translation>
    </message>
    <message>
        <source>it is larger than any profile (more than %1 KB)</source>
        <translation>es ist größer als jedes Profil (mehr als %1 KB)</translation>
    </message>
    <message>
        <source>it is a link</source>
        <translation>es ist eine Verknüpfung</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>es ist ein Ordner</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>es ist keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>it is not text</source>
        <translation>es ist kein Text</translation>
    </message>
    <message>
        <source>%1 (plays every type)</source>
        <translation>%1 (spielt alle Typen ab)</translation>
    </message>
    <message>
        <source>%1 (plays %2)</source>
        <translation>%1 (spielt %2 ab)</translation>
    </message>
    <message>
        <source>%1 (plays none of the types Sorvina chooses)</source>
        <translation>%1 (spielt keinen der Typen ab, die Sorvina auswählt)</translation>
    </message>
    <message>
        <source>; %1 %2 file left out: the player does not play it</source>
        <translation>; %1 %2-Datei ausgelassen: das Gerät spielt sie nicht ab</translation>
    </message>
    <message>
        <source>; %1 %2 files left out: the player does not play them</source>
        <translation>; %1 %2-Dateien ausgelassen: das Gerät spielt sie nicht ab</translation>
    </message>
    <message>
        <source>; %1 left out: larger than the player takes (%2)</source>
        <translation>; %1 ausgelassen: größer, als das Gerät annimmt (%2)</translation>
    </message>
    <message>
        <source>; %1 left out: over the player&apos;s %2 kbit/s</source>
        <translation>; %1 ausgelassen: über den %2 kbit/s des Geräts</translation>
    </message>
    <message>
        <source>; %1 left out: a sample rate the player does not play</source>
        <translation>; %1 ausgelassen: eine Abtastrate, die das Gerät nicht abspielt</translation>
    </message>
    <message>
        <source>; %1 left out: not playable</source>
        <translation>; %1 ausgelassen: nicht abspielbar</translation>
    </message>
    <message>
        <source>Not every folder could be put in play order: %1 (%2)</source>
        <translation>Nicht jeder Ordner konnte in Abspielreihenfolge gebracht werden: %1 (%2)</translation>
    </message>
    <message>
        <source>Copied at its own loudness: %1 (%2)</source>
        <translation>In eigener Lautstärke kopiert: %1 (%2)</translation>
    </message>
    <message>
        <source>Copied with its cover as it is: %1 (%2)</source>
        <translation>Mit unverändertem Cover kopiert: %1 (%2)</translation>
    </message>
    <message>
        <source>Converting songs for the player</source>
        <translation>Lieder werden für das Gerät umgewandelt</translation>
    </message>
    <message>
        <source>Can&apos;t convert songs: there is no folder to keep them in, as XDG_CACHE_HOME is not set to an absolute path and no home folder is known</source>
        <translation>Titel können nicht umgewandelt werden: Es gibt keinen Ordner, um sie aufzubewahren, da XDG_CACHE_HOME nicht auf einen absoluten Pfad gesetzt ist und kein persönlicher Ordner bekannt ist</translation>
    </message>
    <message>
        <source>Not converted, left out: %1 (%2)</source>
        <translation>Nicht umgewandelt, ausgelassen: %1 (%2)</translation>
    </message>
    <message>
        <source>Left out, the file ends early: %1 (only %2 of %3 decode)</source>
        <translation>Ausgelassen, die Datei endet vorzeitig: %1 (nur %2 von %3 lassen sich dekodieren)</translation>
    </message>
    <message>
        <source>; %1 converted (%2 encoded now)</source>
        <translation>; %1 umgewandelt (%2 davon jetzt kodiert)</translation>
    </message>
    <message>
        <source>; %1 %2 file converted: the player does not play it</source>
        <translation>; %1 %2-Datei umgewandelt: das Gerät spielt sie nicht ab</translation>
    </message>
    <message>
        <source>; %1 %2 files converted: the player does not play them</source>
        <translation>; %1 %2-Dateien umgewandelt: das Gerät spielt sie nicht ab</translation>
    </message>
    <message>
        <source>; %1 converted: over the player&apos;s %2 kbit/s</source>
        <translation>; %1 umgewandelt: über den %2 kbit/s des Geräts</translation>
    </message>
    <message>
        <source>; %1 converted: a sample rate the player does not play</source>
        <translation>; %1 umgewandelt: eine Abtastrate, die das Gerät nicht abspielt</translation>
    </message>
    <message>
        <source>Every song found weighs 0 by its stars; please give more stars a weight above 0</source>
        <translation>Jeder gefundene Titel wiegt nach seinen Sternen 0; bitte geben Sie mehr Sternen ein Gewicht über 0</translation>
    </message>
    <message>
        <source>Whole albums cannot be drawn with an equal chance per artist, album or folder; please choose one of the two</source>
        <translation>Ganze Alben können nicht zusammen mit gleicher Chance je Interpret, Album oder Ordner gezogen werden; bitte wählen Sie eines von beiden</translation>
    </message>
    <message>
        <source>the key that tells its files from yours cannot be kept in %1: %2</source>
        <translation>der Schlüssel, der seine Dateien von Ihren unterscheidet, kann nicht in %1 aufbewahrt werden: %2</translation>
    </message>
    <message>
        <source>it is damaged</source>
        <translation>er ist beschädigt</translation>
    </message>
    <message>
        <source>The journal of this fill could not be written to %1 (%2); the fill stopped</source>
        <translation>Das Protokoll dieser Befüllung konnte nicht nach %1 geschrieben werden (%2); die Befüllung wurde beendet</translation>
    </message>
    <message>
        <source>Nothing chosen: %1 song could not be converted (%2)</source>
        <translation>Nichts ausgewählt: %1 Titel konnte nicht umgewandelt werden (%2)</translation>
    </message>
    <message>
        <source>Nothing chosen: %1 songs could not be converted (%2)</source>
        <translation>Nichts ausgewählt: %1 Titel konnten nicht umgewandelt werden (%2)</translation>
    </message>
    <message>
        <source>no fill recorded them, so they are replaced as songs of the previous fill</source>
        <translation>keine Befüllung hat sie aufgezeichnet, daher werden sie als Titel der vorigen Befüllung ersetzt</translation>
    </message>
    <message>
        <source>not a whole number</source>
        <translation>keine ganze Zahl</translation>
    </message>
    <message>
        <source>too large</source>
        <translation>zu groß</translation>
    </message>
    <message>
        <source>must be at least 1</source>
        <translation>muss mindestens 1 sein</translation>
    </message>
    <message>
        <source>must be at least 8</source>
        <translation>muss mindestens 8 sein</translation>
    </message>
    <message>
        <source>not true or false</source>
        <translation>weder true noch false</translation>
    </message>
    <message>
        <source>not text</source>
        <translation>kein Text</translation>
    </message>
    <message>
        <source>a group name without ]</source>
        <translation>ein Gruppenname ohne ]</translation>
    </message>
    <message>
        <source>not a group, a key=value line or a comment</source>
        <translation>weder eine Gruppe noch eine Zeile Schlüssel=Wert noch ein Kommentar</translation>
    </message>
    <message>
        <source>a value without a key</source>
        <translation>ein Wert ohne Schlüssel</translation>
    </message>
    <message>
        <source>convert to MP3</source>
        <translation>in MP3 umwandeln</translation>
    </message>
    <message>
        <source>convert to AAC</source>
        <translation>in AAC umwandeln</translation>
    </message>
    <message>
        <source>convert to Opus</source>
        <translation>in Opus umwandeln</translation>
    </message>
    <message>
        <source>bring to %1 LUFS</source>
        <translation>auf %1 LUFS angleichen</translation>
    </message>
    <message>
        <source>copy</source>
        <translation>kopieren</translation>
    </message>
    <message>
        <source>The player %1 plays only %2; please convert to one of: %3</source>
        <translation>Das Gerät %1 spielt nur %2 ab; bitte wandeln Sie in eines davon um: %3</translation>
    </message>
    <message>
        <source>Whole albums cannot be drawn with at most so many songs per artist; please choose one of the two</source>
        <translation>Ganze Alben können nicht zusammen mit höchstens so vielen Titeln je Interpret gezogen werden; bitte wählen Sie eines von beiden</translation>
    </message>
    <message numerus="yes">
        <source>%Ln file(s)</source>
        <translation>
            <numerusform>%Ln Datei</numerusform>
            <numerusform>%Ln Dateien</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; stopped at %Ln song(s): at most %1 per artist, %2</source>
        <translation>
            <numerusform>; beendet bei %Ln Titel: höchstens %1 je Interpret, %2</numerusform>
            <numerusform>; beendet bei %Ln Titeln: höchstens %1 je Interpret, %2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln artist(s)</source>
        <translation>
            <numerusform>%Ln Interpret</numerusform>
            <numerusform>%Ln Interpreten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %1 left out: the player reads no more than %Ln folder(s)</source>
        <translation>
            <numerusform>; %1 ausgelassen: das Gerät liest nicht mehr als %Ln Ordner</numerusform>
            <numerusform>; %1 ausgelassen: das Gerät liest nicht mehr als %Ln Ordner</numerusform>
        </translation>
    </message>
    <message>
        <source>The player %1 plays none of the formats songs are converted to (MP3, AAC, Opus); please do not convert</source>
        <translation>Das Gerät %1 spielt keines der Formate ab, in die Titel umgewandelt werden (MP3, AAC, Opus); bitte wandeln Sie nicht um</translation>
    </message>
    <message numerus="yes">
        <source>fill(s)</source>
        <translation>
            <numerusform>Befüllung meiden</numerusform>
            <numerusform>Befüllungen meiden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>playlist(s) written here</source>
        <translation>
            <numerusform>hier geschriebenen Wiedergabeliste meiden</numerusform>
            <numerusform>hier geschriebenen Wiedergabelisten meiden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %Ln cover(s) made smaller for the player</source>
        <translation>
            <numerusform>; %Ln Titelbild für das Gerät verkleinert</numerusform>
            <numerusform>; %Ln Titelbilder für das Gerät verkleinert</numerusform>
        </translation>
    </message>
    <message>
        <source>The phone keeps no order of files; the device playlist holds the play order</source>
        <translation>Das Telefon hält keine Reihenfolge der Dateien fest; die Wiedergabeliste auf dem Gerät bestimmt die Wiedergabereihenfolge</translation>
    </message>
    <message>
        <source>No plays of the previous fill&apos;s songs were found; all of them are replaced</source>
        <translation>Für die Titel der vorigen Befüllung wurden keine Wiedergaben gefunden; sie werden alle ersetzt</translation>
    </message>
    <message>
        <source>No play history was found; the songs are chosen as if none had been played</source>
        <translation>Es wurde kein Wiedergabeverlauf gefunden; die Titel werden ausgewählt, als wäre keiner gespielt worden</translation>
    </message>
    <message>
        <source>Every file found was played in the last %1 days; nothing was chosen</source>
        <translation>Jede gefundene Datei wurde in den letzten %1 Tagen gespielt; es wurde nichts ausgewählt</translation>
    </message>
    <message numerus="yes">
        <source>, %Ln played since the last fill to replace</source>
        <translation>
            <numerusform>, %Ln seit der letzten Befüllung gespielter zu ersetzen</numerusform>
            <numerusform>, %Ln seit der letzten Befüllung gespielte zu ersetzen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %Ln played since the last fill replaced</source>
        <translation>
            <numerusform>, %Ln seit der letzten Befüllung gespielter ersetzt</numerusform>
            <numerusform>, %Ln seit der letzten Befüllung gespielte ersetzt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %Ln not yet played to keep</source>
        <translation>
            <numerusform>, %Ln noch nicht gespielter zu behalten</numerusform>
            <numerusform>, %Ln noch nicht gespielte zu behalten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %Ln not yet played kept</source>
        <translation>
            <numerusform>, %Ln noch nicht gespielter behalten</numerusform>
            <numerusform>, %Ln noch nicht gespielte behalten</numerusform>
        </translation>
    </message>
    <message>
        <source>The play history %1 could not be read (%2); it was passed over</source>
        <translation>Der Wiedergabeverlauf %1 konnte nicht gelesen werden (%2); er wurde übergangen</translation>
    </message>
    <message numerus="yes">
        <source>%1: %Ln damaged record(s) passed over</source>
        <translation>
            <numerusform>%1: %Ln beschädigter Eintrag übergangen</numerusform>
            <numerusform>%1: %Ln beschädigte Einträge übergangen</numerusform>
        </translation>
    </message>
    <message>
        <source>Only part of the play history %1 was read: it holds more than is read at once</source>
        <translation>Vom Wiedergabeverlauf %1 wurde nur ein Teil gelesen: er enthält mehr, als auf einmal gelesen wird</translation>
    </message>
    <message numerus="yes">
        <source>%Ln play(s) in %1 matched no song</source>
        <translation>
            <numerusform>%Ln Wiedergabe in %1 passte zu keinem Titel</numerusform>
            <numerusform>%Ln Wiedergaben in %1 passten zu keinem Titel</numerusform>
        </translation>
    </message>
    <message>
        <source>The play history Sorvina keeps was damaged; it was set aside as %1 and begun anew</source>
        <translation>Der Wiedergabeverlauf, den Sorvina führt, war beschädigt; er wurde als %1 beiseitegelegt und neu begonnen</translation>
    </message>
    <message>
        <source>The play history Sorvina keeps at %1 could not be used (%2); plays read now are not kept</source>
        <translation>Der Wiedergabeverlauf, den Sorvina unter %1 führt, konnte nicht verwendet werden (%2); die jetzt gelesenen Wiedergaben werden nicht aufbewahrt</translation>
    </message>
    <message>
        <source>The plays read could not be kept in %1 (%2)</source>
        <translation>Die gelesenen Wiedergaben konnten nicht in %1 aufbewahrt werden (%2)</translation>
    </message>
    <message numerus="yes">
        <source>; %Ln song(s) left out by pattern</source>
        <translation>
            <numerusform>; %Ln Titel nach Muster ausgelassen</numerusform>
            <numerusform>; %Ln Titel nach Muster ausgelassen</numerusform>
        </translation>
    </message>
    <message>
        <source>, %1 by pattern</source>
        <translation>, %1 nach Muster</translation>
    </message>
    <message numerus="yes">
        <source>; %Ln song(s) left out by date changed</source>
        <translation>
            <numerusform>; %Ln Titel nach Änderungsdatum ausgelassen</numerusform>
            <numerusform>; %Ln Titel nach Änderungsdatum ausgelassen</numerusform>
        </translation>
    </message>
    <message>
        <source>, %1 by date changed</source>
        <translation>, %1 nach Änderungsdatum</translation>
    </message>
    <message numerus="yes">
        <source>; %Ln song(s) left out by genre</source>
        <translation>
            <numerusform>; %Ln Titel nach Genre ausgelassen</numerusform>
            <numerusform>; %Ln Titel nach Genre ausgelassen</numerusform>
        </translation>
    </message>
    <message>
        <source>, %1 by genre</source>
        <translation>, %1 nach Genre</translation>
    </message>
    <message numerus="yes">
        <source>; %Ln song(s) left out by year</source>
        <translation>
            <numerusform>; %Ln Titel nach Jahr ausgelassen</numerusform>
            <numerusform>; %Ln Titel nach Jahr ausgelassen</numerusform>
        </translation>
    </message>
    <message>
        <source>, %1 by year</source>
        <translation>, %1 nach Jahr</translation>
    </message>
    <message numerus="yes">
        <source>; %Ln song(s) left out by length</source>
        <translation>
            <numerusform>; %Ln Titel nach Länge ausgelassen</numerusform>
            <numerusform>; %Ln Titel nach Länge ausgelassen</numerusform>
        </translation>
    </message>
    <message>
        <source>, %1 by length</source>
        <translation>, %1 nach Länge</translation>
    </message>
    <message numerus="yes">
        <source>; %Ln duplicate(s) set aside</source>
        <translation>
            <numerusform>; %Ln Duplikat beiseitegelegt</numerusform>
            <numerusform>; %Ln Duplikate beiseitegelegt</numerusform>
        </translation>
    </message>
    <message>
        <source>No song passes the filters</source>
        <translation>Kein Titel besteht die Filter</translation>
    </message>
    <message>
        <source>Please name a phone as mtp:, mtp:SERIAL or mtp:SERIAL/FOLDER</source>
        <translation>Bitte ein Telefon als mtp:, mtp:SERIENNUMMER oder mtp:SERIENNUMMER/ORDNER angeben</translation>
    </message>
    <message>
        <source>No phone or player that speaks MTP is plugged in</source>
        <translation>Kein Telefon und kein Player mit MTP ist angeschlossen</translation>
    </message>
    <message>
        <source>No phone with the serial number %1 is plugged in</source>
        <translation>Kein Telefon mit der Seriennummer %1 ist angeschlossen</translation>
    </message>
    <message>
        <source>The phone %1 shows no storage: %2</source>
        <translation>Das Telefon %1 zeigt keinen Speicher: %2</translation>
    </message>
    <message>
        <source>is it unlocked?</source>
        <translation>ist es entsperrt?</translation>
    </message>
    <message>
        <source>The phone stopped answering at %1; what was sent before is kept, and the next fill of it finishes the record</source>
        <translation>Das Telefon antwortete bei %1 nicht mehr; was vorher übertragen wurde, bleibt, und die nächste Befüllung vervollständigt die Aufzeichnung</translation>
    </message>
    <message>
        <source>The phone cannot be read: %1</source>
        <translation>Das Telefon kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>The phone&apos;s storage is full; %1 was not sent</source>
        <translation>Der Speicher des Telefons ist voll; %1 wurde nicht übertragen</translation>
    </message>
    <message>
        <source>The phone holds as many files as it can; %1 was not sent</source>
        <translation>Das Telefon fasst keine weiteren Dateien; %1 wurde nicht übertragen</translation>
    </message>
    <message>
        <source>The journal of this fill cannot be kept in %1: %2</source>
        <translation>Das Protokoll dieser Befüllung kann nicht in %1 geführt werden: %2</translation>
    </message>
    <message>
        <source>Sending to %1</source>
        <translation>Übertragen auf %1</translation>
    </message>
    <message>
        <source>%1 was not sent: %2</source>
        <translation>%1 wurde nicht übertragen: %2</translation>
    </message>
    <message>
        <source>The record of this fill cannot be kept on %1: %2</source>
        <translation>Die Aufzeichnung dieser Befüllung kann nicht auf %1 gespeichert werden: %2</translation>
    </message>
    <message>
        <source>%1 is held by another program, and no mount of it was found; open it in the file manager, or close the program that holds it, and try again</source>
        <translation>%1 wird von einem anderen Programm belegt, und es wurde nicht eingebunden gefunden; bitte im Dateimanager öffnen oder das belegende Programm schließen und erneut versuchen</translation>
    </message>
    <message>
        <source>%1 is held by the desktop&apos;s own mount of it; it is filled through that mount: %2</source>
        <translation>%1 ist von der Arbeitsumgebung eingebunden; es wird über diese Einbindung befüllt: %2</translation>
    </message>
    <message>
        <source>A phone keeps no log of what was played; the whole previous fill is replaced</source>
        <translation>Ein Telefon führt kein Protokoll darüber, was gespielt wurde; die ganze vorige Befüllung wird ersetzt</translation>
    </message>
    <message>
        <source>Books are not put onto a phone; only the songs are</source>
        <translation>Hörbücher kommen nicht auf ein Telefon, nur die Lieder</translation>
    </message>
    <message>
        <source>The chapters of %1 were not split: %2</source>
        <translation>Die Kapitel von %1 wurden nicht getrennt: %2</translation>
    </message>
    <message numerus="yes">
        <source>%Ln chapter(s) of the books are in a format the player does not play; they go there converted (--convert auto)</source>
        <translation>
            <numerusform>%Ln Kapitel der Bücher hat ein Format, das das Gerät nicht abspielt; es kommt umgewandelt dorthin (--convert auto)</numerusform>
            <numerusform>%Ln Kapitel der Bücher haben ein Format, das das Gerät nicht abspielt; sie kommen umgewandelt dorthin (--convert auto)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>sorvina::app::WizardApplication</name>
    <message>
        <source>Fills a music player, or writes a playlist, with a random choice of music files.</source>
        <translation>Befüllt einen Musikspieler oder schreibt eine Wiedergabeliste mit einer zufälligen Auswahl von Musikdateien.</translation>
    </message>
    <message>
        <source>Displays the version, the copyright and the license.</source>
        <translation>Zeigt die Version, das Urheberrecht und die Lizenz an.</translation>
    </message>
    <message>
        <source>Start with empty settings instead of those the wizard had when it was last closed; those are kept unless Finish is pressed.</source>
        <translation>Mit leeren Einstellungen beginnen statt mit denen, die der Assistent beim letzten Schließen hatte; diese bleiben erhalten, solange nicht auf Fertigstellen geklickt wird.</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::AmountPage</name>
    <message>
        <source>Fill the destination&apos;s free space</source>
        <translation>Den freien Platz des Ziels füllen</translation>
    </message>
    <message>
        <source>Opens the donation page in your browser</source>
        <translation>Öffnet die Spendenseite in Ihrem Browser</translation>
    </message>
    <message>
        <source>Saves the settings to a file</source>
        <translation>Speichert die Einstellungen in einer Datei</translation>
    </message>
    <message>
        <source>Sorvina step 4</source>
        <translation>Sorvina Schritt 4</translation>
    </message>
    <message>
        <source>Set how many mp3s to select</source>
        <translation>Festlegen, wie viele MP3s ausgewählt werden</translation>
    </message>
    <message>
        <source>Select up to this number of MB</source>
        <translation>Bis zu so vielen MB auswählen</translation>
    </message>
    <message>
        <source>Free space</source>
        <translation>Freier Platz</translation>
    </message>
    <message>
        <source>Select up to this many hours</source>
        <translation>Bis zu so vielen Stunden auswählen</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>Alles auswählen</translation>
    </message>
    <message>
        <source>Keep filling with files that still fit</source>
        <translation>Mit Dateien auffüllen, die noch passen</translation>
    </message>
    <message>
        <source>Avoid songs of the last</source>
        <translation>Titel der letzten</translation>
    </message>
    <message>
        <source>Save Settings</source>
        <translation>Einstellungen speichern</translation>
    </message>
    <message>
        <source>Sorvina is free, but if you like it please</source>
        <translation>Sorvina ist kostenlos, aber wenn es Ihnen gefällt,</translation>
    </message>
    <message>
        <source>consider sending a few dollars my way</source>
        <translation>freue ich mich über ein paar Euro</translation>
    </message>
    <message>
        <source>free: %1</source>
        <translation>%1 frei</translation>
    </message>
    <message>
        <source>&amp;Convert songs the player cannot play to</source>
        <translation>Titel, die das Gerät nicht abspielt, &amp;umwandeln in</translation>
    </message>
    <message>
        <source>Converts them as they are copied, for the player chosen on page 2</source>
        <translation>Wandelt sie beim Kopieren um, für das auf Seite 2 gewählte Gerät</translation>
    </message>
    <message>
        <source>The format songs are converted to</source>
        <translation>Das Format, in das die Titel umgewandelt werden</translation>
    </message>
    <message>
        <source>auto</source>
        <translation>auto</translation>
    </message>
    <message>
        <source>The bitrate of converted songs, from %1 to %2 kbit/s; empty: the format&apos;s own quality</source>
        <translation>Die Bitrate umgewandelter Titel, von %1 bis %2 kbit/s; leer: die eigene Qualität des Formats</translation>
    </message>
    <message>
        <source>&amp;Even out loudness to</source>
        <translation>&amp;Lautheit angleichen auf</translation>
    </message>
    <message>
        <source>Brings every song copied to one loudness (EBU R128)</source>
        <translation>Bringt jeden kopierten Titel auf dieselbe Lautheit (EBU R128)</translation>
    </message>
    <message>
        <source>From %1 (quiet) to %2 (loud)</source>
        <translation>Von %1 (leise) bis %2 (laut)</translation>
    </message>
    <message>
        <source>every song to %1</source>
        <translation>jeden Titel in %1</translation>
    </message>
    <message>
        <source>Donate</source>
        <comment>the word on the donation picture</comment>
        <translation>Spenden</translation>
    </message>
    <message>
        <source>The player chosen on page 2 plays none of the formats songs are converted to</source>
        <translation>Das auf Seite 2 gewählte Gerät spielt keines der Formate, in die Titel umgewandelt werden</translation>
    </message>
    <message>
        <source>free</source>
        <comment>typed for the megabytes: fill the destination&apos;s free space</comment>
        <translation>frei</translation>
    </message>
    <message>
        <source>Free space not reported: enter a number of MB</source>
        <translation>Freier Speicherplatz nicht gemeldet: bitte geben Sie eine Anzahl MB ein</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::CopyProgressDialog</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Copying</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Copying file %1 of %2</source>
        <translation>Datei %1 von %2 wird kopiert</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::DestinationPage</name>
    <message>
        <source>A name ending in .m3u8, inside the folder</source>
        <translation>Ein Name, der auf .m3u8 endet, innerhalb des Ordners</translation>
    </message>
    <message>
        <source>USB sticks, memory cards and players plugged in</source>
        <translation>Angeschlossene USB-Sticks, Speicherkarten und Musikspieler</translation>
    </message>
    <message>
        <source>Set destination folder</source>
        <translation>Zielordner festlegen</translation>
    </message>
    <message>
        <source>Set playlist file</source>
        <translation>Wiedergabelistendatei festlegen</translation>
    </message>
    <message>
        <source>Play List Files (*.m3u)</source>
        <translation>Wiedergabelisten (*.m3u)</translation>
    </message>
    <message>
        <source>%1 (%2, %3 free)</source>
        <translation>%1 (%2, %3 frei)</translation>
    </message>
    <message>
        <source>No player found</source>
        <translation>Kein Gerät gefunden</translation>
    </message>
    <message>
        <source>Choose a player</source>
        <translation>Gerät auswählen</translation>
    </message>
    <message>
        <source>Sorvina step 2</source>
        <translation>Sorvina Schritt 2</translation>
    </message>
    <message>
        <source>Set what to do with the mp3 selection</source>
        <translation>Festlegen, was mit der MP3-Auswahl geschehen soll</translation>
    </message>
    <message>
        <source>Copy files to destination folder</source>
        <translation>Dateien in einen Zielordner kopieren</translation>
    </message>
    <message>
        <source>Keep each file&apos;s folders</source>
        <translation>Ordner jeder Datei beibehalten</translation>
    </message>
    <message>
        <source>Replace the songs of the previous fill</source>
        <translation>Titel der vorigen Befüllung ersetzen</translation>
    </message>
    <message>
        <source>Write a playlist into the folder:</source>
        <translation>Eine Wiedergabeliste in den Ordner schreiben:</translation>
    </message>
    <message>
        <source>Create playlist</source>
        <translation>Wiedergabeliste erstellen</translation>
    </message>
    <message>
        <source>Write paths relative to the playlist</source>
        <translation>Pfade relativ zur Wiedergabeliste schreiben</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Festlegen</translation>
    </message>
    <message>
        <source>Set destination folder or playlist file</source>
        <translation>Zielordner oder Wiedergabelistendatei festlegen</translation>
    </message>
    <message>
        <source>Plugged in:</source>
        <translation>Angeschlossen:</translation>
    </message>
    <message>
        <source>&amp;Player:</source>
        <translation>&amp;Gerät:</translation>
    </message>
    <message>
        <source>What the player plays, where its music goes and what it takes</source>
        <translation>Was das Gerät abspielt, wohin seine Musik gehört und was es verträgt</translation>
    </message>
    <message>
        <source>N&amp;umber the files in play order</source>
        <translation>Dateien in Abspielreihenfolge &amp;nummerieren</translation>
    </message>
    <message>
        <source>Keep each folder in play &amp;order</source>
        <translation>Jeden Ordner in Abspiel&amp;reihenfolge halten</translation>
    </message>
    <message>
        <source>Replacing the previous fill always keeps play order</source>
        <translation>Beim Ersetzen der vorigen Befüllung bleibt die Abspielreihenfolge immer erhalten</translation>
    </message>
    <message>
        <source>Any player</source>
        <translation>Beliebiges Gerät</translation>
    </message>
    <message>
        <source>Car stereo</source>
        <translation>Autoradio</translation>
    </message>
    <message>
        <source>Found on the stick</source>
        <translation>Auf dem Stick erkannt</translation>
    </message>
    <message>
        <source>Other profile file…</source>
        <translation>Andere Profildatei …</translation>
    </message>
    <message>
        <source>Player Profiles (*.mpi)</source>
        <translation>Geräteprofile (*.mpi)</translation>
    </message>
    <message>
        <source>Player: %1</source>
        <translation>Gerät: %1</translation>
    </message>
    <message>
        <source>No player found here: any player</source>
        <translation>Hier kein Gerät erkannt: beliebiges Gerät</translation>
    </message>
    <message>
        <source>%1 (free space not reported)</source>
        <translation>%1 (freier Speicherplatz nicht gemeldet)</translation>
    </message>
    <message>
        <source>Replace only the songs played since the last fill</source>
        <translation>Nur die seit der letzten Befüllung gespielten Titel ersetzen</translation>
    </message>
    <message>
        <source>Songs not played yet stay on the player, where they were</source>
        <translation>Noch nicht gespielte Titel bleiben auf dem Player, wo sie waren</translation>
    </message>
    <message>
        <source>Audiobooks and podcasts from</source>
        <translation>Hörbücher und Podcasts aus</translation>
    </message>
    <message>
        <source>Each fill puts the next hours of the books there in order, never among the random songs</source>
        <translation>Jede Füllung legt die nächsten Stunden der Bücher der Reihe nach dorthin, nie zwischen die zufälligen Lieder</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source> hours ahead</source>
        <translation> Stunden im Voraus</translation>
    </message>
    <message>
        <source>How many hours of the books each fill puts on the player</source>
        <translation>Wie viele Stunden der Bücher jede Befüllung auf das Gerät bringt</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::FileDialog</name>
    <message>
        <source>All Files (*.*)</source>
        <translation>Alle Dateien (*.*)</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::FolderDialog</name>
    <message>
        <source>Select Folder</source>
        <translation>Ordner auswählen</translation>
    </message>
    <message>
        <source>Up One Level</source>
        <translation>Eine Ebene höher</translation>
    </message>
    <message>
        <source>Home Folder</source>
        <translation>Persönlicher Ordner</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Folder:</source>
        <translation>Ordner:</translation>
    </message>
    <message>
        <source>Look in:</source>
        <translation>Suchen in:</translation>
    </message>
    <message>
        <source>Files of type:</source>
        <translation>Dateityp:</translation>
    </message>
    <message>
        <source>Show Folders Only</source>
        <translation>Nur Ordner anzeigen</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::HowToChooseBox</name>
    <message>
        <source>How to choose</source>
        <translation>Wie gewählt wird</translation>
    </message>
    <message>
        <source>Keep songs of the same artist apart</source>
        <translation>Titel desselben Interpreten auseinanderhalten</translation>
    </message>
    <message>
        <source>In the play order, as far as their numbers allow</source>
        <translation>In der Abspielreihenfolge, soweit ihre Anzahl es zulässt</translation>
    </message>
    <message>
        <source>At most</source>
        <translation>Höchstens</translation>
    </message>
    <message>
        <source>The artists are read from the songs&apos; tags</source>
        <translation>Die Interpreten werden aus den Tags der Titel gelesen</translation>
    </message>
    <message>
        <source>songs per artist</source>
        <translation>Titel je Interpret</translation>
    </message>
    <message>
        <source>Equal chance per</source>
        <translation>Gleiche Chance je</translation>
    </message>
    <message>
        <source>artist</source>
        <translation>Interpret</translation>
    </message>
    <message>
        <source>album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Whole albums, in track order</source>
        <translation>Ganze Alben, in Titelreihenfolge</translation>
    </message>
    <message>
        <source>Favourites more often</source>
        <translation>Lieblingstitel öfter</translation>
    </message>
    <message>
        <source>Each song&apos;s chance is multiplied by the weight of its stars; 0: never chosen</source>
        <translation>Die Chance jedes Titels wird mit dem Gewicht seiner Sterne multipliziert; 0: nie gewählt</translation>
    </message>
    <message>
        <source>unrated</source>
        <translation>unbewertet</translation>
    </message>
    <message>
        <source>The weight of songs without stars</source>
        <translation>Das Gewicht der Titel ohne Sterne</translation>
    </message>
    <message numerus="yes">
        <source>The weight of songs with %n star(s)</source>
        <translation>
            <numerusform>Das Gewicht der Titel mit %n Stern</numerusform>
            <numerusform>Das Gewicht der Titel mit %n Sternen</numerusform>
        </translation>
    </message>
    <message>
        <source>Not together with whole albums</source>
        <translation>Nicht zusammen mit ganzen Alben</translation>
    </message>
    <message>
        <source>First an artist, album or folder is drawn, then one of its songs, however many it has</source>
        <translation>Erst wird ein Interpret, Album oder Ordner gezogen, dann einer seiner Titel, wie viele es auch sind</translation>
    </message>
    <message>
        <source>Whole albums are chosen, copied and listed in disc and track order</source>
        <translation>Ganze Alben werden gewählt, kopiert und in CD- und Titelreihenfolge aufgelistet</translation>
    </message>
    <message>
        <source>Not together with an equal chance per artist, album or folder</source>
        <translation>Nicht zusammen mit gleicher Chance je Interpret, Album oder Ordner</translation>
    </message>
    <message>
        <source>Every star weight needs a number of 0 or more.</source>
        <translation>Jedes Sterngewicht braucht eine Zahl von 0 oder mehr.</translation>
    </message>
    <message>
        <source>Star weights are numbers of 0 or more, decimals allowed: &quot;%1&quot; is not one.</source>
        <translation>Sterngewichte sind Zahlen von 0 oder mehr, Dezimalzahlen erlaubt: „%1“ ist keine.</translation>
    </message>
    <message>
        <source>At least one star weight must be above 0: with all at 0, no song can be chosen.</source>
        <translation>Mindestens ein Sterngewicht muss über 0 liegen: sind alle 0, kann kein Titel gewählt werden.</translation>
    </message>
    <message>
        <source>Not together with at most so many songs per artist, which would cut albums short</source>
        <translation>Nicht zusammen mit höchstens so vielen Titeln je Interpret, was Alben kürzen würde</translation>
    </message>
    <message>
        <source>Songs not played lately more often</source>
        <translation>Länger nicht gespielte Titel öfter</translation>
    </message>
    <message>
        <source>Never played: four times as often as a song played a week ago; played in the last day: a quarter as often</source>
        <translation>Nie gespielt: viermal so oft wie ein vor einer Woche gespielter Titel; am letzten Tag gespielt: ein Viertel so oft</translation>
    </message>
    <message>
        <source>Leave out songs played in the last</source>
        <translation>Titel auslassen, gespielt in den letzten</translation>
    </message>
    <message>
        <source>days</source>
        <translation>Tagen</translation>
    </message>
    <message>
        <source>Plays also from:</source>
        <translation>Wiedergaben auch aus:</translation>
    </message>
    <message>
        <source>A music program&apos;s record of plays: a beets library, an MPD sticker database, a Strawberry database, a Rhythmbox rhythmdb.xml or a ListenBrainz export; the player&apos;s own logs are read in any case</source>
        <translation>Das Wiedergabeprotokoll eines Musikprogramms: eine beets-Bibliothek, eine MPD-Sticker-Datenbank, eine Strawberry-Datenbank, eine Rhythmbox-rhythmdb.xml oder ein ListenBrainz-Export; die Protokolle des Geräts selbst werden in jedem Fall gelesen</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::LastState</name>
    <message>
        <source>The settings could not be kept for the next start in %1</source>
        <translation>Die Einstellungen konnten für den nächsten Start nicht in %1 gespeichert werden</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::LeaveOutBox</name>
    <message>
        <source>Leave out</source>
        <translation>Auslassen</translation>
    </message>
    <message>
        <source>Christmas/**
*/Live/*</source>
        <translation>Weihnachten/**
*/Live/*</translation>
    </message>
    <message>
        <source>Paths below their source, one pattern a line: * and ? within a name, ** across folders, letter case ignored; a pattern without / matches any name in the path</source>
        <translation>Pfade unterhalb ihrer Quelle, ein Muster je Zeile: * und ? innerhalb eines Namens, ** über Ordner hinweg, ohne Rücksicht auf Groß- und Kleinschreibung; ein Muster ohne / passt auf jeden Namen im Pfad</translation>
    </message>
    <message>
        <source>Only songs of one of these genres, separated by commas</source>
        <translation>Nur Titel eines dieser Genres, durch Kommas getrennt</translation>
    </message>
    <message>
        <source>No songs of any of these genres, separated by commas</source>
        <translation>Keine Titel dieser Genres, durch Kommas getrennt</translation>
    </message>
    <message>
        <source>Only years</source>
        <translation>Nur Jahre</translation>
    </message>
    <message>
        <source>Only lengths</source>
        <translation>Nur Längen</translation>
    </message>
    <message>
        <source>m:ss</source>
        <translation>m:ss</translation>
    </message>
    <message>
        <source>Only changed in the last</source>
        <translation>Nur geändert in den letzten</translation>
    </message>
    <message>
        <source>One copy of each recording</source>
        <translation>Eine Kopie jeder Aufnahme</translation>
    </message>
    <message>
        <source>Of the files of one recording (by MusicBrainz id, ISRC, or artist, title and length) one is chosen: one the player plays as it is, else the best</source>
        <translation>Von den Dateien einer Aufnahme (nach MusicBrainz-ID, ISRC oder Interpret, Titel und Länge) wird eine gewählt: eine, die der Player unverändert abspielt, sonst die beste</translation>
    </message>
    <message>
        <source>&amp;Paths:</source>
        <translation>&amp;Pfade:</translation>
    </message>
    <message>
        <source>&amp;Genres:</source>
        <translation>&amp;Genres:</translation>
    </message>
    <message>
        <source>N&amp;ot genres:</source>
        <translation>Ni&amp;cht diese Genres:</translation>
    </message>
    <message>
        <source>to</source>
        <translation>bis</translation>
    </message>
    <message>
        <source>days</source>
        <translation>Tagen</translation>
    </message>
    <message>
        <source>A pattern may be no longer than %1 characters: &quot;%2...&quot; is longer.</source>
        <translation>Ein Muster darf höchstens %1 Zeichen lang sein: &quot;%2...&quot; ist länger.</translation>
    </message>
    <message>
        <source>Lengths are minutes and seconds, such as 2:00 and 7:30, the shorter first; one of them may be left empty.</source>
        <translation>Längen sind Minuten und Sekunden, etwa 2:00 und 7:30, die kürzere zuerst; eine davon darf leer bleiben.</translation>
    </message>
    <message>
        <source>The first year must not come after the last.</source>
        <translation>Das erste Jahr darf nicht nach dem letzten liegen.</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::ProgressWindow</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::RemovableVolumes</name>
    <message>
        <source>Phone: %1 – %2</source>
        <translation>Telefon: %1 – %2</translation>
    </message>
    <message>
        <source>Phone: %1 – %2 (MTP)</source>
        <translation>Telefon: %1 – %2 (MTP)</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::SettingsDialogs</name>
    <message>
        <source>Settings Files (*.txt)</source>
        <translation>Einstellungsdateien (*.txt)</translation>
    </message>
    <message>
        <source>%1 is where Sorvina keeps what it held when it was last closed. Please choose another name.</source>
        <translation>In %1 bewahrt Sorvina auf, was beim letzten Schließen eingestellt war. Bitte wählen Sie einen anderen Namen.</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::SourcesPage</name>
    <message>
        <source>Playlist Files (*.m3u)</source>
        <translation>Wiedergabelisten (*.m3u)</translation>
    </message>
    <message>
        <source>Loads the settings from a file</source>
        <translation>Lädt die Einstellungen aus einer Datei</translation>
    </message>
    <message>
        <source>Sorvina step 1</source>
        <translation>Sorvina Schritt 1</translation>
    </message>
    <message>
        <source>Select source folders and/or playlists</source>
        <translation>Quellordner und/oder Wiedergabelisten auswählen</translation>
    </message>
    <message>
        <source>Load Settings</source>
        <translation>Einstellungen laden</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Add Playlist</source>
        <translation>Wiedergabeliste hinzufügen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>File types:</source>
        <translation>Dateitypen:</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::WebPage</name>
    <message>
        <source>No web browser could be started.
The page is at:
%1</source>
        <translation>Es konnte kein Webbrowser gestartet werden.
Die Seite ist unter dieser Adresse zu finden:
%1</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::WeightDialog</name>
    <message>
        <source>Folder: %1</source>
        <translation>Ordner: %1</translation>
    </message>
    <message>
        <source>Invalid entry</source>
        <translation>Ungültige Eingabe</translation>
    </message>
    <message>
        <source>Folder weight</source>
        <translation>Ordnergewichtung</translation>
    </message>
    <message>
        <source>Enter a number greater than or equal to zero.  Decimals are OK.</source>
        <translation>Geben Sie eine Zahl größer oder gleich null ein.  Dezimalzahlen sind erlaubt.</translation>
    </message>
    <message>
        <source>Numbers less than one mean mp3s in this folder will be less likely to be chosen,</source>
        <translation>Zahlen kleiner als eins bedeuten, dass MP3s in diesem Ordner seltener ausgewählt werden,</translation>
    </message>
    <message>
        <source>while numbers greater than one mean they will be more likely to be chosen.</source>
        <translation>Zahlen größer als eins bedeuten, dass sie häufiger ausgewählt werden.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::WeightsPage</name>
    <message>
        <source>Sorvina step 3</source>
        <translation>Sorvina Schritt 3</translation>
    </message>
    <message>
        <source>Set folder weights (optional)</source>
        <translation>Ordnergewichtungen festlegen (optional)</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Change Weight</source>
        <translation>Gewicht ändern</translation>
    </message>
</context>
<context>
    <name>sorvina::ui::WizardFileOperation</name>
    <message>
        <source>Can&apos;t copy &quot;%1&quot;: %2

Continue with the remaining files?</source>
        <translation>„%1“ kann nicht kopiert werden: %2

Mit den übrigen Dateien fortfahren?</translation>
    </message>
    <message>
        <source>A file named &quot;%1&quot; already exists in the destination folder.</source>
        <translation>Im Zielordner gibt es bereits eine Datei namens „%1“.</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Ersetzen</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Überspringen</translation>
    </message>
    <message>
        <source>Keep both</source>
        <translation>Beide behalten</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Do this for all remaining</source>
        <translation>Für alle übrigen so verfahren</translation>
    </message>
    <message>
        <source>Existing file: %1</source>
        <translation>Vorhandene Datei: %1</translation>
    </message>
    <message>
        <source>%1 (%2, changed %3)</source>
        <translation>%1 (%2, geändert am %3)</translation>
    </message>
    <message>
        <source>Copying: %1</source>
        <translation>Zu kopieren: %1</translation>
    </message>
    <message>
        <source>The two files are identical.</source>
        <translation>Die beiden Dateien sind gleich.</translation>
    </message>
</context>
</TS>
