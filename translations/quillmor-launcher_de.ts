<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>DownloadSheet</name>
    <message>
        <source>Downloading</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Connecting...</source>
        <translation>Verbindung wird hergestellt…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Cancel the download</source>
        <translation>Download abbrechen</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
</context>
<context>
    <name>EntrySheet</name>
    <message>
        <source>Add Level Feed</source>
        <translation>Level-Feed hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Address of the level feed:</source>
        <translation>&amp;Adresse des Level-Feeds:</translation>
    </message>
    <message>
        <source>Level feed address</source>
        <translation>Adresse des Level-Feeds</translation>
    </message>
    <message>
        <source>Problem with the address</source>
        <translation>Problem mit der Adresse</translation>
    </message>
    <message>
        <source>Cancel adding a level feed</source>
        <translation>Hinzufügen des Level-Feeds abbrechen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Add this level feed</source>
        <translation>Diesen Level-Feed hinzufügen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>LauncherWindow</name>
    <message>
        <source>Quillmor Launcher</source>
        <translation>Quillmor Launcher</translation>
    </message>
    <message>
        <source>Find levels by name, author, description or source (Ctrl+F)</source>
        <translation>Levels nach Name, Autor, Beschreibung oder Quelle suchen (Strg+F)</translation>
    </message>
    <message>
        <source>Find levels</source>
        <translation>Levels suchen</translation>
    </message>
    <message>
        <source>Shows only the levels whose name, author, description or source contain the text. Escape clears it.</source>
        <translation>Zeigt nur die Levels, deren Name, Autor, Beschreibung oder Quelle den Text enthält. Esc leert das Feld.</translation>
    </message>
    <message>
        <source>Levels</source>
        <translation>Levels</translation>
    </message>
    <message>
        <source>Every level the launcher knows. Double-click or press Return to play the selected level.</source>
        <translation>Alle Levels, die der Launcher kennt. Doppelklicken Sie oder drücken Sie die Eingabetaste, um das ausgewählte Level zu spielen.</translation>
    </message>
    <message>
        <source>Installed levels and updates</source>
        <translation>Installierte Levels und Aktualisierungen</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Spielen</translation>
    </message>
    <message>
        <source>Play the selected level</source>
        <translation>Ausgewähltes Level spielen</translation>
    </message>
    <message>
        <source>Menu bar</source>
        <translation>Menüleiste</translation>
    </message>
    <message>
        <source>&amp;Levels</source>
        <translation>&amp;Levels</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>L&amp;evel</source>
        <translation>L&amp;evel</translation>
    </message>
    <message>
        <source>Commands on the selected level</source>
        <translation>Befehle für das ausgewählte Level</translation>
    </message>
    <message>
        <source>Install from File…</source>
        <translation>Aus Datei installieren…</translation>
    </message>
    <message>
        <source>Refresh All Feeds</source>
        <translation>Alle Feeds aktualisieren</translation>
    </message>
    <message>
        <source>Preferences…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>About Quillmor Launcher</source>
        <translation>Über Quillmor Launcher</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Installieren</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>View Web Page</source>
        <translation>Webseite öffnen</translation>
    </message>
    <message>
        <source>Show in File Browser</source>
        <translation>Im Dateimanager anzeigen</translation>
    </message>
    <message>
        <source>Update All</source>
        <translation>Alle aktualisieren</translation>
    </message>
    <message>
        <source>Update every level that has an update</source>
        <translation>Alle Levels aktualisieren, für die es eine Aktualisierung gibt</translation>
    </message>
    <message>
        <source>Install every update the feeds offer, one level after another</source>
        <translation>Alle Aktualisierungen der Feeds installieren, ein Level nach dem anderen</translation>
    </message>
    <message>
        <source>Start Quillmor with the selected level (Return)</source>
        <translation>Quillmor mit dem ausgewählten Level starten (Eingabetaste)</translation>
    </message>
</context>
<context>
    <name>PreferencesPanel</name>
    <message>
        <source>Level Feeds</source>
        <translation>Level-Feeds</translation>
    </message>
    <message>
        <source>&amp;Level feeds the launcher reads:</source>
        <translation>&amp;Level-Feeds, die der Launcher liest:</translation>
    </message>
    <message>
        <source>Level feeds</source>
        <translation>Level-Feeds</translation>
    </message>
    <message>
        <source>Add a level feed</source>
        <translation>Einen Level-Feed hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Add…</source>
        <translation>&amp;Hinzufügen…</translation>
    </message>
    <message>
        <source>Remove the selected level feed</source>
        <translation>Ausgewählten Level-Feed entfernen</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>Refresh all level feeds</source>
        <translation>Alle Level-Feeds aktualisieren</translation>
    </message>
    <message>
        <source>Re&amp;fresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>Cancel changes to the level feeds</source>
        <translation>Änderungen an den Level-Feeds verwerfen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Keep the level feeds</source>
        <translation>Level-Feeds übernehmen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Quillmor</name>
    <message>
        <source>its name is empty</source>
        <translation>sein Name ist leer</translation>
    </message>
    <message>
        <source>its name has a folder part</source>
        <translation>sein Name enthält einen Ordnerteil</translation>
    </message>
    <message>
        <source>its name holds a control character</source>
        <translation>sein Name enthält ein Steuerzeichen</translation>
    </message>
    <message>
        <source>its name is not UTF-8 text</source>
        <translation>sein Name ist kein UTF-8-Text</translation>
    </message>
    <message>
        <source>The entry &quot;%1&quot; could not be written: %2.</source>
        <translation>Der Eintrag „%1“ konnte nicht geschrieben werden: %2.</translation>
    </message>
    <message>
        <source>its data is damaged</source>
        <translation>seine Daten sind beschädigt</translation>
    </message>
    <message>
        <source>The file is not a zip archive.</source>
        <translation>Die Datei ist kein ZIP-Archiv.</translation>
    </message>
    <message>
        <source>The level folder cannot be opened.</source>
        <translation>Der Level-Ordner kann nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>The archive&apos;s list of entries is damaged.</source>
        <translation>Das Inhaltsverzeichnis des Archivs ist beschädigt.</translation>
    </message>
    <message>
        <source>New level installed!</source>
        <translation>Neues Level installiert!</translation>
    </message>
    <message>
        <source>The level &quot;%1&quot; was installed and added to the launch menu.</source>
        <translation>Das Level „%1“ wurde installiert und in die Level-Liste aufgenommen.</translation>
    </message>
    <message>
        <source>Quillmor is not installed, so there is no level folder to install into.</source>
        <translation>Quillmor ist nicht installiert, daher gibt es keinen Level-Ordner, in den installiert werden kann.</translation>
    </message>
    <message>
        <source>The level&apos;s folder is not in the game&apos;s level folder.</source>
        <translation>Der Ordner des Levels liegt nicht im Level-Ordner des Spiels.</translation>
    </message>
    <message>
        <source>The archive&apos;s name gives no folder name to install into.</source>
        <translation>Aus dem Namen des Archivs ergibt sich kein Ordnername für die Installation.</translation>
    </message>
    <message>
        <source>The level has no folder to go into.</source>
        <translation>Für das Level gibt es keinen Zielordner.</translation>
    </message>
    <message>
        <source>No staging folder could be made in %1: %2.</source>
        <translation>In %1 konnte kein Zwischenordner angelegt werden: %2.</translation>
    </message>
    <message>
        <source>No staging folder could be made in %1.</source>
        <translation>In %1 konnte kein Zwischenordner angelegt werden.</translation>
    </message>
    <message>
        <source>The archive holds no &quot;levellist.dat&quot;.</source>
        <translation>Das Archiv enthält keine „levellist.dat“.</translation>
    </message>
    <message>
        <source>There is no staged level to put in place.</source>
        <translation>Es liegt kein vorbereitetes Level zum Einsetzen bereit.</translation>
    </message>
    <message>
        <source>The old level could not be moved to the Trash.</source>
        <translation>Das alte Level konnte nicht in den Papierkorb verschoben werden.</translation>
    </message>
    <message>
        <source>The level could not be moved into its folder: %1.</source>
        <translation>Das Level konnte nicht in seinen Ordner verschoben werden: %1.</translation>
    </message>
    <message>
        <source>Level Database</source>
        <translation>Level-Datenbank</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>User level</source>
        <translation>Eigenes Level</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Run the unmodified game</source>
        <translation>Das unveränderte Spiel starten</translation>
    </message>
    <message>
        <source>Downloadable level</source>
        <translation>Herunterladbares Level</translation>
    </message>
    <message>
        <source>Connecting...</source>
        <translation>Verbindung wird hergestellt…</translation>
    </message>
    <message>
        <source>The server answered %1 %2.</source>
        <translation>Der Server antwortete mit %1 %2.</translation>
    </message>
    <message>
        <source>The transfer timed out: nothing arrived for %1 seconds.</source>
        <translation>Zeitüberschreitung bei der Übertragung: %1 Sekunden lang kamen keine Daten an.</translation>
    </message>
    <message>
        <source>The download could not be saved to %1: %2</source>
        <translation>Der Download konnte nicht unter %1 gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Success!</source>
        <translation>Erfolgreich!</translation>
    </message>
    <message>
        <source>Enter the address of a level feed.</source>
        <translation>Geben Sie die Adresse eines Level-Feeds ein.</translation>
    </message>
    <message>
        <source>Level feeds are read from http, https and file addresses only.</source>
        <translation>Level-Feeds werden nur von http-, https- und file-Adressen gelesen.</translation>
    </message>
    <message>
        <source>This is not a complete address.</source>
        <translation>Das ist keine vollständige Adresse.</translation>
    </message>
    <message>
        <source>The address does not serve a level feed.</source>
        <translation>Unter der Adresse gibt es keinen Level-Feed.</translation>
    </message>
    <message>
        <source>No source was added for %1: its answer is neither an RSS feed nor a list of levels.</source>
        <translation>Für %1 wurde keine Quelle hinzugefügt: Die Antwort ist weder ein RSS-Feed noch eine Level-Liste.</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>1 level installed</source>
        <translation>1 Level installiert</translation>
    </message>
    <message numerus="yes">
        <source>%n levels installed</source>
        <translation>
            <numerusform>%n Level installiert</numerusform>
            <numerusform>%n Levels installiert</numerusform>
        </translation>
    </message>
    <message>
        <source>, </source>
        <translation>, </translation>
    </message>
    <message>
        <source>1 update available</source>
        <translation>1 Aktualisierung verfügbar</translation>
    </message>
    <message numerus="yes">
        <source>%n updates available</source>
        <translation>
            <numerusform>%n Aktualisierung verfügbar</numerusform>
            <numerusform>%n Aktualisierungen verfügbar</numerusform>
        </translation>
    </message>
    <message>
        <source>Installing</source>
        <translation>Installation</translation>
    </message>
    <message>
        <source>Installing…</source>
        <translation>Wird installiert…</translation>
    </message>
    <message>
        <source>The level could not be installed.</source>
        <translation>Das Level konnte nicht installiert werden.</translation>
    </message>
    <message>
        <source>Install Anyway</source>
        <translation>Trotzdem installieren</translation>
    </message>
    <message>
        <source>The download does not match its checksum</source>
        <translation>Der Download stimmt nicht mit seiner Prüfsumme überein</translation>
    </message>
    <message>
        <source>The archive of &quot;%1&quot; differs from the one its feed published. It may be damaged or altered.</source>
        <translation>Das Archiv von „%1“ weicht von dem ab, das sein Feed veröffentlicht hat. Es könnte beschädigt oder verändert worden sein.</translation>
    </message>
    <message>
        <source>Level archives (*.zip)</source>
        <translation>Level-Archive (*.zip)</translation>
    </message>
    <message>
        <source>Install from File</source>
        <translation>Aus Datei installieren</translation>
    </message>
    <message>
        <source>Directory exists</source>
        <translation>Ordner ist schon vorhanden</translation>
    </message>
    <message>
        <source>There is already a level in the target directory. Do you want to install it into a new directory or overwrite it? </source>
        <translation>Im Zielordner liegt bereits ein Level. Möchten Sie in einen neuen Ordner installieren oder das vorhandene Level überschreiben? </translation>
    </message>
    <message>
        <source>Level commands</source>
        <translation>Level-Befehle</translation>
    </message>
    <message>
        <source>Keeps your Quillmor levels: plays, installs and updates them from level feeds.</source>
        <translation>Verwaltet Ihre Quillmor-Levels: spielt sie, installiert sie und aktualisiert sie aus Level-Feeds.</translation>
    </message>
    <message>
        <source>The level&apos;s web address &quot;%1&quot; is not an http or https address. The launcher opens only web pages.</source>
        <translation>Die Webadresse „%1“ des Levels ist keine http- oder https-Adresse. Der Launcher öffnet nur Webseiten.</translation>
    </message>
    <message>
        <source>No web browser could be started for %1.</source>
        <translation>Für %1 konnte kein Webbrowser gestartet werden.</translation>
    </message>
    <message>
        <source>The web page can&apos;t be opened.</source>
        <translation>Die Webseite kann nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>The default level can&apos;t be deleted!</source>
        <translation>Das Standard-Level kann nicht gelöscht werden!</translation>
    </message>
    <message>
        <source>The default level data is part of the game executable and can&apos;t be managed separately.</source>
        <translation>Die Daten des Standard-Levels sind Teil des Spielprogramms und können nicht getrennt verwaltet werden.</translation>
    </message>
    <message>
        <source>This will move the level data into the trash bin and remove it from the level list.</source>
        <translation>Die Level-Daten werden in den Papierkorb verschoben und aus der Level-Liste entfernt.</translation>
    </message>
    <message>
        <source>The default level can&apos;t be shown!</source>
        <translation>Das Standard-Level kann nicht angezeigt werden!</translation>
    </message>
    <message>
        <source>The default level data is part of the game executable and can&apos;t be shown separately.</source>
        <translation>Die Daten des Standard-Levels sind Teil des Spielprogramms und können nicht getrennt angezeigt werden.</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Installieren</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Reinstall</source>
        <translation>Neu installieren</translation>
    </message>
    <message>
        <source>Author</source>
        <translation>Autor</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>The launcher looks for the game&apos;s desktop entry %1 in these folders:</source>
        <translation>Der Launcher sucht den Desktop-Eintrag %1 des Spiels in diesen Ordnern:</translation>
    </message>
    <message>
        <source>The level is missing!</source>
        <translation>Das Level fehlt!</translation>
    </message>
    <message>
        <source>The level doesn&apos;t seem to be available where it used to be. It may have been deleted or renamed.</source>
        <translation>Das Level ist anscheinend nicht mehr dort, wo es war. Vielleicht wurde es gelöscht oder umbenannt.</translation>
    </message>
    <message>
        <source>Quillmor was not found.</source>
        <translation>Quillmor wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>Quillmor could not be started.</source>
        <translation>Quillmor konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>It was found through:</source>
        <translation>Gefunden über:</translation>
    </message>
    <message>
        <source>Updating %1 (%2 of %3)…</source>
        <translation>%1 wird aktualisiert (%2 von %3)…</translation>
    </message>
    <message>
        <source>Update All was cancelled.</source>
        <translation>„Alle aktualisieren“ wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Every update was installed.</source>
        <translation>Alle Aktualisierungen wurden installiert.</translation>
    </message>
    <message>
        <source>Some updates could not be installed.</source>
        <translation>Einige Aktualisierungen konnten nicht installiert werden.</translation>
    </message>
    <message>
        <source>Levels updated: %1 of %2.</source>
        <translation>Aktualisierte Levels: %1 von %2.</translation>
    </message>
    <message>
        <source>%1 could not be opened: %2.</source>
        <translation>%1 konnte nicht geöffnet werden: %2.</translation>
    </message>
    <message>
        <source>Another copy of the launcher is running.</source>
        <translation>Eine andere Kopie des Launchers läuft bereits.</translation>
    </message>
    <message>
        <source>%1 could not be locked: %2.</source>
        <translation>%1 konnte nicht gesperrt werden: %2.</translation>
    </message>
    <message>
        <source>it holds data a property list cannot store</source>
        <translation>sie enthält Daten, die eine Property-Liste nicht speichern kann</translation>
    </message>
    <message>
        <source>too many damaged copies are kept already</source>
        <translation>es werden bereits zu viele beschädigte Kopien aufbewahrt</translation>
    </message>
    <message>
        <source>The preferences could not be opened.</source>
        <translation>Die Einstellungen konnten nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>The launcher uses its default feeds and settings, and saves no changes to them until a start that can read the file.</source>
        <translation>Der Launcher verwendet seine voreingestellten Feeds und Einstellungen und speichert keine Änderungen daran, bis er die Datei bei einem Start lesen kann.</translation>
    </message>
    <message>
        <source>The damaged file is kept as &quot;%1&quot;.</source>
        <translation>Die beschädigte Datei wird als „%1“ aufbewahrt.</translation>
    </message>
    <message>
        <source>The damaged file could not be set aside (%1), so the launcher saves no changes to the preferences this time.</source>
        <translation>Die beschädigte Datei konnte nicht beiseitegelegt werden (%1), daher speichert der Launcher diesmal keine Änderungen an den Einstellungen.</translation>
    </message>
    <message>
        <source>The launcher uses its default feeds and settings.</source>
        <translation>Der Launcher verwendet seine voreingestellten Feeds und Einstellungen.</translation>
    </message>
    <message>
        <source>The preferences could not be read.</source>
        <translation>Die Einstellungen konnten nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The settings that could not be read are back to their defaults.</source>
        <translation>Die Einstellungen, die nicht gelesen werden konnten, sind wieder auf ihre Vorgaben gesetzt.</translation>
    </message>
    <message>
        <source>Part of the preferences could not be read.</source>
        <translation>Ein Teil der Einstellungen konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The preferences could not be saved.</source>
        <translation>Die Einstellungen konnten nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>There is not enough free space: the level needs %1, %2 of it to keep free for other programs, and %3 are free.</source>
        <translation>Es ist nicht genug Speicherplatz frei: Das Level braucht %1, davon %2 als Reserve für andere Programme, frei sind %3.</translation>
    </message>
    <message>
        <source>The unpacked level could not be written to the disk: %1.</source>
        <translation>Das entpackte Level konnte nicht auf den Datenträger geschrieben werden: %1.</translation>
    </message>
    <message>
        <source>The level catalogue could not be opened.</source>
        <translation>Der Level-Katalog konnte nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>The launcher leaves the file as it is and saves no changes to the catalogue until a start that can read it.</source>
        <translation>Der Launcher lässt die Datei, wie sie ist, und speichert keine Änderungen am Katalog, bis er sie bei einem Start lesen kann.</translation>
    </message>
    <message>
        <source>The damaged file could not be set aside (%1), so the launcher saves no changes to the catalogue this time.</source>
        <translation>Die beschädigte Datei konnte nicht beiseitegelegt werden (%1), daher speichert der Launcher diesmal keine Änderungen am Katalog.</translation>
    </message>
    <message>
        <source>Part of the level catalogue could not be read.</source>
        <translation>Ein Teil des Level-Katalogs konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Levels read from it: %1. What could not be read was left out.</source>
        <translation>Daraus gelesene Levels: %1. Was nicht gelesen werden konnte, wurde ausgelassen.</translation>
    </message>
    <message>
        <source>The level catalogue could not be read.</source>
        <translation>Der Level-Katalog konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The level catalogue was missing.</source>
        <translation>Der Level-Katalog fehlte.</translation>
    </message>
    <message>
        <source>The launcher started from its backup copy, saved before the last change.</source>
        <translation>Der Launcher hat mit seiner Sicherungskopie begonnen, die vor der letzten Änderung gespeichert wurde.</translation>
    </message>
    <message>
        <source>The launcher started with the levels it found in the game&apos;s level folder.</source>
        <translation>Der Launcher hat mit den Levels begonnen, die er im Level-Ordner des Spiels gefunden hat.</translation>
    </message>
    <message>
        <source>The level catalogue could not be saved.</source>
        <translation>Der Level-Katalog konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>The launcher could not read &quot;%1&quot; at its start, so it does not write over it. Your changes are kept until you quit.</source>
        <translation>Der Launcher konnte „%1“ beim Start nicht lesen und überschreibt die Datei daher nicht. Ihre Änderungen bleiben bis zum Beenden erhalten.</translation>
    </message>
    <message>
        <source>Your changes are kept, and saved again at the next change or when you quit.</source>
        <translation>Ihre Änderungen bleiben erhalten und werden bei der nächsten Änderung oder beim Beenden erneut gespeichert.</translation>
    </message>
    <message>
        <source>The transfer broke off: the server announced %1 bytes and %2 arrived.</source>
        <translation>Die Übertragung brach ab: Der Server kündigte %1 Bytes an, angekommen sind %2.</translation>
    </message>
    <message>
        <source>If you quit now, the changes that were not saved are lost.</source>
        <translation>Wenn Sie jetzt beenden, gehen die nicht gespeicherten Änderungen verloren.</translation>
    </message>
    <message>
        <source>Quit Anyway</source>
        <translation>Trotzdem beenden</translation>
    </message>
    <message>
        <source>The folder can&apos;t be shown.</source>
        <translation>Der Ordner kann nicht angezeigt werden.</translation>
    </message>
    <message>
        <source>No file manager answered, and no program opens %1.</source>
        <translation>Kein Dateimanager hat geantwortet, und kein Programm öffnet %1.</translation>
    </message>
    <message>
        <source>Quillmor Launcher is already running.</source>
        <translation>Quillmor Launcher läuft bereits.</translation>
    </message>
    <message>
        <source>Another copy of the launcher keeps the levels of this home. Switch to its window, or quit it before starting the launcher again.</source>
        <translation>Eine andere Kopie des Launchers verwaltet die Levels dieses Benutzerordners. Wechseln Sie zu ihrem Fenster, oder beenden Sie sie, bevor Sie den Launcher erneut starten.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Spielen</translation>
    </message>
    <message>
        <source>Web page</source>
        <translation>Webseite</translation>
    </message>
    <message>
        <source>About Quillmor Launcher</source>
        <translation>Über Quillmor Launcher</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Free software under the GNU General Public License, version 3 or later.</source>
        <translation>Freie Software unter der GNU General Public License, Version 3 oder neuer.</translation>
    </message>
    <message>
        <source>Install progress</source>
        <translation>Installationsfortschritt</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Move &quot;%1&quot; to the Trash?</source>
        <translation>„%1“ in den Papierkorb verschieben?</translation>
    </message>
    <message>
        <source>Select a level to see its details.</source>
        <translation>Wählen Sie ein Level aus, um seine Details zu sehen.</translation>
    </message>
    <message>
        <source>By %1</source>
        <translation>Von %1</translation>
    </message>
    <message>
        <source>Source: %1</source>
        <translation>Quelle: %1</translation>
    </message>
    <message>
        <source>Web page: %1</source>
        <translation>Webseite: %1</translation>
    </message>
    <message>
        <source>Picture of %1</source>
        <translation>Bild von %1</translation>
    </message>
    <message>
        <source>Installed on %1, %2 on disk</source>
        <translation>Installiert am %1, %2 auf dem Datenträger</translation>
    </message>
    <message>
        <source>No levels match &quot;%1&quot;</source>
        <translation>Keine Levels passen zu „%1“</translation>
    </message>
    <message>
        <source>Showing %1 of %2 — </source>
        <translation>%1 von %2 angezeigt — </translation>
    </message>
    <message>
        <source>Update available</source>
        <translation>Aktualisierung verfügbar</translation>
    </message>
    <message>
        <source>Missing</source>
        <translation>Fehlt</translation>
    </message>
    <message>
        <source>Installed</source>
        <translation>Installiert</translation>
    </message>
    <message>
        <source>Built in</source>
        <translation>Eingebaut</translation>
    </message>
    <message>
        <source>Available</source>
        <translation>Verfügbar</translation>
    </message>
    <message>
        <source>Buttons: %1. The Level menu has them too.</source>
        <translation>Schaltflächen: %1. Das Menü „Level“ hat sie auch.</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Clear the search</source>
        <translation>Suche leeren</translation>
    </message>
    <message>
        <source>Downloading %1</source>
        <translation>%1 wird heruntergeladen</translation>
    </message>
    <message numerus="yes">
        <source>about %n s left</source>
        <translation>
            <numerusform>noch etwa %n s</numerusform>
            <numerusform>noch etwa %n s</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>about %n min left</source>
        <translation>
            <numerusform>noch etwa %n min</numerusform>
            <numerusform>noch etwa %n min</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>about %n h left</source>
        <translation>
            <numerusform>noch etwa %n h</numerusform>
            <numerusform>noch etwa %n h</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message numerus="yes">
        <source>Retrying in %n s…</source>
        <translation>
            <numerusform>Neuer Versuch in %n s…</numerusform>
            <numerusform>Neuer Versuch in %n s…</numerusform>
        </translation>
    </message>
    <message>
        <source>Plays, installs and updates levels for Quillmor. Archives and links given while the launcher runs are handed to its window.</source>
        <translation>Spielt, installiert und aktualisiert Levels für Quillmor. Archive und Links, die übergeben werden, während der Launcher läuft, gehen an sein Fenster.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe anzeigen.</translation>
    </message>
    <message>
        <source>Show the launcher&apos;s version.</source>
        <translation>Die Version des Launchers anzeigen.</translation>
    </message>
    <message>
        <source>Level archives to install: zip files, http or https addresses of zip files, or quillmor links.</source>
        <translation>Zu installierende Level-Archive: ZIP-Dateien, http- oder https-Adressen von ZIP-Dateien oder quillmor-Links.</translation>
    </message>
    <message>
        <source>[archive or link…]</source>
        <translation>[Archiv oder Link…]</translation>
    </message>
    <message>
        <source>See &quot;%1 --help&quot; for what it takes.</source>
        <translation>Siehe „%1 --help“ für die möglichen Angaben.</translation>
    </message>
    <message>
        <source>Drop to install</source>
        <translation>Zum Installieren ablegen</translation>
    </message>
    <message>
        <source>Installing %1 (%2 of %3)…</source>
        <translation>%1 wird installiert (%2 von %3)…</translation>
    </message>
    <message>
        <source>Levels installed: %1 of %2.</source>
        <translation>Installierte Levels: %1 von %2.</translation>
    </message>
    <message>
        <source>Installing was cancelled.</source>
        <translation>Die Installation wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Every level was installed.</source>
        <translation>Alle Levels wurden installiert.</translation>
    </message>
    <message>
        <source>Some levels could not be installed.</source>
        <translation>Einige Levels konnten nicht installiert werden.</translation>
    </message>
    <message>
        <source>1 byte</source>
        <translation>1 Byte</translation>
    </message>
    <message>
        <source>Add feed</source>
        <translation>Feed hinzufügen</translation>
    </message>
    <message>
        <source>Install &quot;%1&quot; from %2?</source>
        <translation>„%1“ von %2 installieren?</translation>
    </message>
    <message>
        <source>A link asks the launcher to download %1 and install the level in it. Install levels only from sites you trust.</source>
        <translation>Ein Link bittet den Launcher, %1 herunterzuladen und das Level darin zu installieren. Installieren Sie Levels nur von Seiten, denen Sie vertrauen.</translation>
    </message>
    <message>
        <source>Add the level feed &quot;%1&quot; from %2?</source>
        <translation>Den Level-Feed „%1“ von %2 hinzufügen?</translation>
    </message>
    <message>
        <source>A link asks the launcher to read the feed %1 and list the levels it offers. The feed is read again at every start.</source>
        <translation>Ein Link bittet den Launcher, den Feed %1 zu lesen und die darin angebotenen Levels aufzulisten. Der Feed wird bei jedem Start erneut gelesen.</translation>
    </message>
    <message>
        <source>Also add the level feed &quot;%1&quot; from %2</source>
        <translation>Auch den Level-Feed „%1“ von %2 hinzufügen</translation>
    </message>
    <message>
        <source>This cannot be opened.</source>
        <translation>Das kann nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>The launcher fetches levels and feeds over http and https only, not from &quot;%1&quot;.</source>
        <translation>Der Launcher lädt Levels und Feeds nur über http und https, nicht von „%1“.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a complete address.</source>
        <translation>„%1“ ist keine vollständige Adresse.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; names no archive file.</source>
        <translation>„%1“ nennt keine Archivdatei.</translation>
    </message>
    <message>
        <source>The link asks for &quot;%1&quot;, which the launcher does not know.</source>
        <translation>Der Link verlangt „%1“, das der Launcher nicht kennt.</translation>
    </message>
    <message>
        <source>The link names no address to fetch.</source>
        <translation>Der Link nennt keine Adresse zum Laden.</translation>
    </message>
    <message>
        <source>%1 is not a file that can be read.</source>
        <translation>%1 ist keine lesbare Datei.</translation>
    </message>
    <message>
        <source>The launcher cannot open &quot;%1&quot;: it takes level archives on this computer or at http and https addresses, and quillmor links.</source>
        <translation>Der Launcher kann „%1“ nicht öffnen: Er nimmt Level-Archive auf diesem Computer oder unter http- und https-Adressen sowie quillmor-Links.</translation>
    </message>
    <message numerus="yes">
        <source>%n bytes</source>
        <translation>
            <numerusform>%n Byte</numerusform>
            <numerusform>%n Bytes</numerusform>
        </translation>
    </message>
</context>
</TS>
