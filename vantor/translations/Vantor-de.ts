<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Vantor::Internal::ApiClient</name>
    <message>
        <source>Repository error: group id not found - unable to fetch examples</source>
        <translation>Repository-Fehler: Gruppen-ID nicht gefunden - Beispiele können nicht abgerufen werden</translation>
    </message>
    <message>
        <source>Fetch examples</source>
        <translation>Beispiele abrufen</translation>
    </message>
    <message>
        <source>Searching examples</source>
        <translation>Beispiele werden gesucht</translation>
    </message>
    <message>
        <source>Network error: %1</source>
        <translation>Netzwerkfehler: %1</translation>
    </message>
    <message>
        <source>Search error: request return null object</source>
        <translation>Suchfehler: Die Anfrage lieferte ein leeres Objekt</translation>
    </message>
    <message>
        <source>Search error: request return wrong data - no id field</source>
        <translation>Suchfehler: Die Anfrage lieferte falsche Daten - kein Feld &quot;id&quot;</translation>
    </message>
    <message>
        <source>API client is ready</source>
        <translation>API-Client ist bereit</translation>
    </message>
    <message>
        <source>Fetch error: request return null object</source>
        <translation>Abruffehler: Die Anfrage lieferte ein leeres Objekt</translation>
    </message>
    <message>
        <source>Downloading example: %1</source>
        <translation>Beispiel wird heruntergeladen: %1</translation>
    </message>
    <message>
        <source>Unable to download image: %1</source>
        <translation>Bild kann nicht heruntergeladen werden: %1</translation>
    </message>
    <message>
        <source>Download larger than %1 MiB cancelled: %2</source>
        <translation>Download größer als %1 MiB abgebrochen: %2</translation>
    </message>
    <message>
        <source>Search error: request return wrong data - unusable group id</source>
        <translation>Suchfehler: Die Anfrage lieferte falsche Daten - unbrauchbare Gruppen-ID</translation>
    </message>
    <message>
        <source>waiting %1 s: %2 limits requests</source>
        <translation>warte %1 s: %2 begrenzt Anfragen</translation>
    </message>
    <message>
        <source>%1 refused access (HTTP %2): check the repository&apos;s access token.</source>
        <translation>%1 verweigert den Zugriff (HTTP %2): Prüfen Sie das Zugriffstoken des Repositorys.</translation>
    </message>
    <message>
        <source>Fetch error: a page of projects is not a list</source>
        <translation>Abruffehler: Eine Seite mit Projekten ist keine Liste</translation>
    </message>
    <message>
        <source>The group has more than %1 projects; only the first %1 are listed.</source>
        <translation>Die Gruppe hat mehr als %1 Projekte; nur die ersten %1 werden aufgeführt.</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::DownloadService</name>
    <message>
        <source>Skip downloading examples - unable to find repository for name: %1</source>
        <translation>Beispiele werden nicht heruntergeladen - kein Repository mit dem Namen: %1</translation>
    </message>
    <message>
        <source>API client is not ready - restarting</source>
        <translation>API-Client ist nicht bereit - Neustart</translation>
    </message>
    <message>
        <source>The data is not downloaded for example: %1</source>
        <translation>Die Daten des Beispiels wurden nicht heruntergeladen: %1</translation>
    </message>
    <message>
        <source>Skip saving example %1 - unusable folder name: %2</source>
        <translation>Beispiel %1 wird nicht gespeichert - unbrauchbarer Ordnername: %2</translation>
    </message>
    <message>
        <source>Unpacking example: %1</source>
        <translation>Beispiel wird entpackt: %1</translation>
    </message>
    <message>
        <source>There was an error while unarchiving</source>
        <translation>Beim Entpacken ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <source>There was an error while creating example mainfest</source>
        <translation>Beim Erstellen des Beispiel-Manifests ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <source>Example %1 was modified and could not be kept as a backup, so it was not updated</source>
        <translation>Beispiel %1 wurde geändert und konnte nicht gesichert werden, daher wurde es nicht aktualisiert</translation>
    </message>
    <message>
        <source>Example %1 was modified; the previous version was kept in: %2</source>
        <translation>Beispiel %1 wurde geändert; die vorherige Version liegt in: %2</translation>
    </message>
    <message>
        <source>Unpacking cancelled, example %1 is larger than %2 MiB or %3 files</source>
        <translation>Entpacken abgebrochen, Beispiel %1 ist größer als %2 MiB oder %3 Dateien</translation>
    </message>
    <message>
        <source>Unable to move example %1 into place</source>
        <translation>Beispiel %1 kann nicht an seinen Platz verschoben werden</translation>
    </message>
    <message>
        <source>no staging folder</source>
        <translation>kein Zwischenordner</translation>
    </message>
    <message>
        <source>The archive of example %1 is damaged or not a .tar.gz archive</source>
        <translation>Das Archiv des Beispiels %1 ist beschädigt oder kein .tar.gz-Archiv</translation>
    </message>
    <message>
        <source>Example %1 is not installed: its archive holds a name that leads out of its folder: %2</source>
        <translation>Beispiel %1 wird nicht installiert: Sein Archiv enthält einen Namen, der aus seinem Ordner hinausführt: %2</translation>
    </message>
    <message>
        <source>Example %1 is not installed: its archive holds a device, pipe or socket: %2</source>
        <translation>Beispiel %1 wird nicht installiert: Sein Archiv enthält ein Gerät, eine Pipe oder einen Socket: %2</translation>
    </message>
    <message>
        <source>Unable to save downloaded example: %1</source>
        <translation>Heruntergeladenes Beispiel kann nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Example %1 was removed, so it is not installed</source>
        <translation>Beispiel %1 wurde entfernt und wird daher nicht installiert</translation>
    </message>
    <message>
        <source>Downloading example: %1</source>
        <translation>Beispiel wird heruntergeladen: %1</translation>
    </message>
    <message>
        <source>The last attempt to install example %1 failed.</source>
        <translation>Der letzte Versuch, das Beispiel %1 zu installieren, ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>%1 updated</source>
        <translation>%1 aktualisiert</translation>
    </message>
    <message>
        <source>%1 installed</source>
        <translation>%1 installiert</translation>
    </message>
    <message>
        <source>%1 failed (see the list)</source>
        <translation>%1 fehlgeschlagen (siehe Liste)</translation>
    </message>
    <message>
        <source> example</source>
        <translation> Beispiel</translation>
    </message>
    <message>
        <source> examples</source>
        <translation> Beispiele</translation>
    </message>
    <message>
        <source>No keychain service answers (%1): repository %2 is used without an access token.</source>
        <translation>Kein Schlüsselbunddienst antwortet (%1): Repository %2 wird ohne Zugriffstoken verwendet.</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::Example</name>
    <message>
        <source>example</source>
        <translation>Beispiel</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>This file is used by SDK to show image for example inside Welcome screen.
It is not the part of the example.</source>
        <translation>Diese Datei verwendet das SDK, um das Bild des Beispiels im Willkommensbildschirm anzuzeigen.
Sie ist nicht Teil des Beispiels.</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::ExamplesDialog</name>
    <message>
        <source>Select Examples to Install</source>
        <translation>Zu installierende Beispiele auswählen</translation>
    </message>
    <message>
        <source>Filter examples</source>
        <translation>Beispiele filtern</translation>
    </message>
    <message>
        <source>&lt;table&gt;&lt;tbody&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Name:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%1&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Description:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%2&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Updated:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%3&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Location:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%4&lt;/td&gt;&lt;/tr&gt;&lt;/tbody&gt;&lt;/table&gt;</source>
        <translation>&lt;table&gt;&lt;tbody&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Name:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%1&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Beschreibung:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%2&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Aktualisiert:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%3&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Ort:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%4&lt;/td&gt;&lt;/tr&gt;&lt;/tbody&gt;&lt;/table&gt;</translation>
    </message>
    <message>
        <source>%1 · installed</source>
        <translation>%1 · installiert</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::OptionsWidget</name>
    <message>
        <source>Add or remove examples from selected repository</source>
        <translation>Beispiele aus dem ausgewählten Repository hinzufügen oder entfernen</translation>
    </message>
    <message>
        <source>Installed Examples</source>
        <translation>Installierte Beispiele</translation>
    </message>
    <message>
        <source>Repository:</source>
        <translation>Repository:</translation>
    </message>
    <message>
        <source>Selected repository name</source>
        <translation>Name des ausgewählten Repositorys</translation>
    </message>
    <message>
        <source>List of installed examples</source>
        <translation>Liste der installierten Beispiele</translation>
    </message>
    <message>
        <source>Filter examples</source>
        <translation>Beispiele filtern</translation>
    </message>
    <message>
        <source>Add examples from online repository</source>
        <translation>Beispiele aus dem Online-Repository hinzufügen</translation>
    </message>
    <message>
        <source>Add...</source>
        <translation>Hinzufügen...</translation>
    </message>
    <message>
        <source>Remove selected installed examples</source>
        <translation>Ausgewählte installierte Beispiele entfernen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Online Updates</source>
        <translation>Online-Aktualisierungen</translation>
    </message>
    <message>
        <source>Check every</source>
        <translation>Prüfen alle</translation>
    </message>
    <message>
        <source>Timeout for checking example updates and downloading new examples.
Set 0 to disable automatic updates.</source>
        <translation>Abstand zwischen den Prüfungen auf aktualisierte und neue Beispiele.
0 schaltet die automatische Aktualisierung aus.</translation>
    </message>
    <message>
        <source>day(s)</source>
        <translation>Tag(e)</translation>
    </message>
    <message>
        <source>&lt;table&gt;&lt;tbody&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Folder:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%1&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Link:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%2&lt;/td&gt;&lt;/tr&gt;&lt;/tbody&gt;&lt;/table&gt;</source>
        <translation>&lt;table&gt;&lt;tbody&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Ordner:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%1&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Link:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%2&lt;/td&gt;&lt;/tr&gt;&lt;/tbody&gt;&lt;/table&gt;</translation>
    </message>
    <message>
        <source>Updated</source>
        <translation>Aktuell</translation>
    </message>
    <message>
        <source>Update available</source>
        <translation>Aktualisierung verfügbar</translation>
    </message>
    <message>
        <source>&lt;table&gt;&lt;tbody&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Location:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%1&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Updated:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%2&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Status:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%3&lt;/td&gt;&lt;/tr&gt;&lt;/tbody&gt;&lt;/table&gt;</source>
        <translation>&lt;table&gt;&lt;tbody&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Ort:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%1&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Aktualisiert:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%2&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td style=&quot;width: 40%;&quot;&gt;Status:&amp;nbsp;&lt;/td&gt;&lt;td style=&quot;width: 60%;&quot;&gt;%3&lt;/td&gt;&lt;/tr&gt;&lt;/tbody&gt;&lt;/table&gt;</translation>
    </message>
    <message>
        <source>Examples Not Found</source>
        <translation>Keine Beispiele gefunden</translation>
    </message>
    <message>
        <source>Check your online connection and try again later!</source>
        <translation>Prüfen Sie Ihre Internetverbindung und versuchen Sie es später erneut!</translation>
    </message>
    <message>
        <source>Examples Not Selected</source>
        <translation>Keine Beispiele ausgewählt</translation>
    </message>
    <message>
        <source>Select examples to remove, press Remove button, then press Apply button to apply changes.</source>
        <translation>Wählen Sie die zu entfernenden Beispiele aus, klicken Sie auf „Entfernen“ und dann auf „Übernehmen“, um die Änderungen anzuwenden.</translation>
    </message>
    <message>
        <source>Check every repository for new and updated examples now</source>
        <translation>Alle Repositorys jetzt auf neue und aktualisierte Beispiele prüfen</translation>
    </message>
    <message>
        <source>Check now</source>
        <translation>Jetzt prüfen</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Nie</translation>
    </message>
    <message>
        <source>Automatic updates are off</source>
        <translation>Automatische Aktualisierungen sind aus</translation>
    </message>
    <message>
        <source>Last checked: %1 · next check: %2</source>
        <translation>Zuletzt geprüft: %1 · nächste Prüfung: %2</translation>
    </message>
    <message>
        <source>Last checked: never · next check: when the repository answers</source>
        <translation>Zuletzt geprüft: nie · nächste Prüfung: sobald das Repository antwortet</translation>
    </message>
    <message>
        <source>Waiting to download</source>
        <translation>Wartet auf Download</translation>
    </message>
    <message>
        <source>Downloading (%1%)</source>
        <translation>Wird heruntergeladen (%1 %)</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Wird heruntergeladen</translation>
    </message>
    <message>
        <source>Installing</source>
        <translation>Wird installiert</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Installed</source>
        <translation>Installiert</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::Plugin</name>
    <message>
        <source>Open location...</source>
        <translation>Speicherort öffnen...</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::Problem</name>
    <message>
        <source>Check your connection; the download is tried again later.</source>
        <translation>Prüfen Sie die Verbindung; der Download wird später erneut versucht.</translation>
    </message>
    <message>
        <source>The server is busy or failing; the download is tried again later.</source>
        <translation>Der Server ist überlastet oder gestört; der Download wird später erneut versucht.</translation>
    </message>
    <message>
        <source>It is tried again.</source>
        <translation>Es wird erneut versucht.</translation>
    </message>
    <message>
        <source>Check the free space and the permissions of the data folder; it is tried again later.</source>
        <translation>Prüfen Sie den freien Speicher und die Rechte des Datenordners; es wird später erneut versucht.</translation>
    </message>
    <message>
        <source>Ask the repository&apos;s maintainers to fix the example; it is tried again when it changes on the server, or when you add it again.</source>
        <translation>Bitten Sie die Betreuer des Repositorys, das Beispiel zu korrigieren; es wird erneut versucht, sobald es sich auf dem Server ändert oder Sie es erneut hinzufügen.</translation>
    </message>
    <message>
        <source>Check the repository&apos;s address and your connection; it is tried again later.</source>
        <translation>Prüfen Sie die Adresse des Repositorys und die Verbindung; es wird später erneut versucht.</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::ProgressTask</name>
    <message>
        <source>Updating %1 examples</source>
        <translation>%1-Beispiele werden aktualisiert</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::TokenField</name>
    <message>
        <source>Forget</source>
        <translation>Vergessen</translation>
    </message>
    <message>
        <source>Removes the stored access token on Apply.</source>
        <translation>Entfernt das gespeicherte Zugriffstoken beim Übernehmen.</translation>
    </message>
    <message>
        <source>No keychain</source>
        <translation>Kein Schlüsselbund</translation>
    </message>
    <message>
        <source>No keychain service runs on this desktop: the access token cannot be kept, so the repository is used without one.</source>
        <translation>Auf diesem Desktop läuft kein Schlüsselbunddienst: Das Zugriffstoken kann nicht gespeichert werden, daher wird das Repository ohne Token verwendet.</translation>
    </message>
    <message>
        <source>Forgotten on Apply</source>
        <translation>Wird beim Übernehmen vergessen</translation>
    </message>
    <message>
        <source>Kept in the keychain</source>
        <translation>Im Schlüsselbund gespeichert</translation>
    </message>
    <message>
        <source>Access token</source>
        <translation>Zugriffstoken</translation>
    </message>
    <message>
        <source>Access token of a private group, kept in the desktop&apos;s keychain. Empty: the group is public.</source>
        <translation>Zugriffstoken einer privaten Gruppe, im Schlüsselbund des Desktops gespeichert. Leer: Die Gruppe ist öffentlich.</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::VantorPlugin</name>
    <message>
        <source>Examples</source>
        <translation>Beispiele</translation>
    </message>
</context>
</TS>
