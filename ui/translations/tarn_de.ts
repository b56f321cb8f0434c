<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — Laufwerke: %d</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Tarn öffnen</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Einhängen</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Aushängen</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Jetzt synchronisieren</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(keine Laufwerke)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Automatisch aktualisieren</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Update %s installieren</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Tarn-Update</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>Sie verwenden die neueste Version.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>Version %s ist verfügbar. Installieren Sie sie über das Tarn-Menü.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>Version %s wurde heruntergeladen und wird installiert. Die Laufwerke sind für etwa eine Minute nicht verfügbar.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn wurde auf Version %s aktualisiert.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Die Suche nach Updates ist fehlgeschlagen: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>eingehängt</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>ausgehängt</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>offline</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>Fehler</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Tarn-Dienst</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Der Tarn-Dienst ist nicht installiert oder läuft nicht. Jetzt installieren? Dazu sind Administratorrechte erforderlich.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Installieren</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>Der FUSE-Dateisystemtreiber ist nicht installiert; ohne ihn können keine Laufwerke eingehängt werden.

Installieren Sie das Paket fuse3 mit der Paketverwaltung des Systems:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>FUSE-Treiber nicht installiert</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — Netzlaufwerke</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Laufwerke</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Übertragungen</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Laufwerk</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>Server</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>Status</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>Ausstehend</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Einhängen</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Aushängen</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Prüfen</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Synchronisieren</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Offline arbeiten</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Online arbeiten</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Cache leeren</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>Laufwerk „%s“ entfernen? Sein Cache wird gelöscht, auch noch nicht hochgeladene Daten.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Laufwerk entfernen</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Richtung</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>Status</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ Hochladen</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ Herunterladen</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>aktiv</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>wartend</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>Wiederholung %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>fertig</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>fehlgeschlagen</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Neues Laufwerk</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Laufwerk</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Netzwerk</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Kompatibilität</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Buchstabe</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Protokoll</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Adresse (Link)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Entfernter Pfad</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Anmeldename</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>SSH-Schlüssel (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Zertifikat prüfen</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Beim Start einhängen</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Schreibgeschützt</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: Fügen Sie den vollständigen Link ein, z. B. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — Port und Pfad werden daraus übernommen, ebenso der Nextcloud-Anmeldename; nur das Passwort ist noch einzugeben (besser ein App-Passwort). Mit Nextcloud lassen sich Uploads fortsetzen und Änderungszeiten setzen; andere Server übertragen bei jeder Änderung die ganze Datei neu.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: jeder SSH-Server (OpenSSH). Passwort oder PEM-/OpenSSH-Schlüssel; das Passwort ist dann die Passphrase des Schlüssels. Schreiben an beliebiger Stelle, Fortsetzen in beide Richtungen, Umbenennen mit Ersetzen.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 über TCP. Optionen: uid=1000,gid=1000 - die auf dem Server verwendete Identität; mountport=NNN,nfsport=NNN bei Bedarf. Der entfernte Pfad ist der Export, z. B. /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Verbindungs-Timeout, s</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>E/A-Timeout, s</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Versuche</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Keepalive-Intervall, s</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Wartezeit für Wiederholung min., ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Wartezeit für Wiederholung max., ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Verbindungen</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Geschwindigkeitslimit, KB/s (0 = keins)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Upload-Teilstück, MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Parallele Teilstücke</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Uploads wiederholen, bis sie gelingen</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Unterbrochene Übertragungen fortsetzen</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Größe nach dem Upload prüfen</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Schlechte Verbindungen: Timeouts und Versuche erhöhen, Teilstücke verkleinern. Schnelle Netze und große Dateien: mehr Verbindungen und parallele Teilstücke. Uploads laufen im Hintergrund aus dem Cache und überstehen Neustarts.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Cache-Ordner</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Cache-Größe, MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Blockgröße, KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Vorauslesen, Blöcke</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Vorauslesen max., Blöcke</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>Metadaten-TTL, s</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Verzögerung beim Zurückschreiben, s</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Ganze Dateien vorab laden unter, MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Offline-Modus (nur Cache, Schreibvorgänge werden gesammelt)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Nicht hochgeladene Daten nie verdrängen</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>Der Cache arbeitet blockweise: Nur was gelesen wird, wird heruntergeladen, und zwar genau einmal. Große Dateien: Blöcke von 4-16 MB; viele kleine Dateien: 64-256 KB. Eine längere Metadaten-TTL bedeutet weniger Serveranfragen, aber anderswo vorgenommene Änderungen werden später sichtbar.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Unicode-Normalisierung</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Namen, die sich nur in Groß-/Kleinschreibung unterscheiden</translation>
    </message>
    <message id="tarn-118">
        <source>NFC (Windows, Linux)</source>
        <translation>NFC (Windows, Linux)</translation>
    </message>
    <message id="tarn-119">
        <source>NFD (macOS)</source>
        <translation>NFD (macOS)</translation>
    </message>
    <message id="tarn-120">
        <source>leave as is</source>
        <translation>unverändert lassen</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>ablehnen</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>erlauben</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Reservierte Namen erlauben (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Punkt / Leerzeichen am Namensende erlauben</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Änderungszeit auf dem Server setzen</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Punktdateien ausblenden</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Auf Linux-Servern sind „a.txt“ und „A.txt“ zwei Dateien, und der Dateimanager zeigt beide an; ein Server, der Groß- und Kleinschreibung nicht unterscheidet (eine Windows- oder macOS-Freigabe), behält womöglich nur eine. Tarn lehnt das Anlegen eines solchen Paars standardmäßig ab. Namen dürfen bis zu 255 UTF-8-Bytes lang sein (nicht Zeichen).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Prüfen</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Server wird geprüft...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Serverprüfung</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Geben Sie einen Server ein.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Speichern fehlgeschlagen: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Schlüssel (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Der FUSE-Treiber (Paket fuse3) wird installiert… Das dauert meist etwa eine Minute.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>Der FUSE-Treiber ist installiert. Tarn ist bereit.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>Der FUSE-Treiber konnte nicht installiert werden: %s

Installieren Sie das Paket fuse3 selbst mit der Paketverwaltung des Systems, z. B. „sudo apt install fuse3“.</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Automatisch — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Updates</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Updates automatisch installieren</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn sucht alle 6 Stunden nach einer neuen Version. Ist dies ausgeschaltet, weist Tarn nur auf eine neue Version hin; installieren Sie sie hier oder über das Menü im Infobereich.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Installierte Version: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Letzte Prüfung: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Es wurde noch nicht nach Updates gesucht.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Suche nach Updates…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(gespeichert)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Alles kopieren</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Upload abbrechen…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>Upload von „%s“ abbrechen?

Die Änderungen an dieser Datei auf diesem Computer werden verworfen; die Datei, die jetzt auf dem Server liegt, bleibt erhalten.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Sicherung</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Gespeichert auf</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Zeitplan</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Letzte Sicherung</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Jetzt sichern</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Stoppen</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Wiederherstellen…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Protokoll…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Sicherung prüfen</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Manuell</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>Alle %d Std.</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Täglich um %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Noch keine Sicherung</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>Wartet, bis sie an der Reihe ist</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Verbindung wird hergestellt…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Sichern: %s durchgesehen, %s gesendet</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Alte Versionen werden entfernt…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Wiederherstellen: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Prüfen: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Fertig, mit Warnungen</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Gestoppt</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>nächste: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Ordner werden verschlüsselt auf Ihren eigenen Server kopiert; alte Versionen werden nach den Regeln der jeweiligen Sicherung aufbewahrt.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Sicherungen werden von einem Administrator dieses Computers eingerichtet.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>Sicherung „%s“ entfernen?

Nur der Auftrag wird entfernt. Die Sicherung auf dem Server bleibt, wo sie ist.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Neue Sicherung</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Sicherung</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Zu sichernde Ordner</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Ordner hinzufügen…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Überspringen (Masken, getrennt durch ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Sicherung speichern auf</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Anderer Server…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Ordner dort</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Sicherungspasswort</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Wiederholen</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>Die Sicherung wird auf diesem Computer mit diesem Passwort verschlüsselt. Ohne das Passwort kann niemand sie lesen, auch Sie nicht: Es lässt sich nicht wiederherstellen. Schreiben Sie es auf.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: Der Server ist der Endpunkt (s3.amazonaws.com oder https://host:port für MinIO und Ähnliche), der Ordner ist /bucket/folder, Anmeldename und Passwort sind der Zugriffsschlüssel und der geheime Schlüssel. Optionen: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Wann</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Alle paar Stunden</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Täglich</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Intervall, Stunden</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>Um (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Aufzubewahrende Versionen</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>letzte</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>tägliche</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>wöchentliche</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>monatliche</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Komprimieren</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Fügen Sie mindestens einen zu sichernden Ordner hinzu.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>Die beiden Passwörter stimmen nicht überein.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Legen Sie ein Passwort für die Sicherung fest.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>Der Server antwortet. In diesem Ordner gibt es noch keine Sicherung: Der erste Lauf legt sie an.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>In diesem Ordner liegt bereits eine Sicherung, und das Passwort öffnet sie. Versionen: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Wiederherstellen: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s Dateien, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Nach oben</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Auswahl wiederherstellen…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Alles wiederherstellen…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Version löschen</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Diese Version löschen?

Dateien, die in keiner anderen Version enthalten sind, sind dann endgültig verloren.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Sicherung wird gelesen…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Wohin sollen die Dateien?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>An ihren ursprünglichen Ort
Seitdem geänderte Dateien werden ersetzt.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>In einen anderen Ordner…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>Die Wiederherstellung hat begonnen. Ihren Fortschritt sehen Sie auf der Registerkarte „Sicherung“.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — Protokoll</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>Die Datei %s kann nicht gelesen werden: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: Geben Sie eine ganze Zahl von %s bis %s ein.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Dazu sind Administratorrechte nötig. Führen Sie diesen Befehl in einem Terminal aus:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>Auf diesem System läuft kein systemd, daher kann der Tarn-Dienst hier weder installiert noch gestartet werden. Starten Sie ihn als root mit „tarn run“.</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>wird eingehängt…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s ist unter %s eingehängt, liefert aber nur seinen Cache: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s wird noch eingehängt: sein Server antwortet langsam.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Laufwerke werden von einem Administrator dieses Computers verwaltet.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Der Tarn-Dienst läuft nicht: Laufwerke und Sicherungen sind erst nutzbar, wenn er startet.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>der Dienst läuft nicht</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Updates kommen mit den Paketen des Systems, über seine Softwareaktualisierung.</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>s</translation>
    </message>
    <message id="tarn-265">
        <source>ms</source>
        <translation>ms</translation>
    </message>
    <message id="tarn-266">
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message id="tarn-267">
        <source>KB/s</source>
        <translation>KB/s</translation>
    </message>
    <message id="tarn-268">
        <source>Only root changes the language: the service keeps it for every user of this computer.</source>
        <translation>Nur root ändert die Sprache: Der Dienst speichert sie für alle Benutzer dieses Computers.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>Die Sprache speichert der Dienst, und der läuft nicht.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Die Änderungen an dieser Sicherung verwerfen?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Verwerfen</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s ist gespeichert, aber die Anmeldung ließ sich nicht prüfen, da der Server nicht erreichbar ist: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s ist eingehängt: Die geänderten Einstellungen gelten beim nächsten Einhängen. Jetzt neu einhängen?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Neu einhängen</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Wiederhergestellte Dateien: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Prüfung bestanden: %s Pakete (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Von der Prüfung gefundene Probleme: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Entfernte alte Versionen: %s (%s frei geworden)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Wiederherstellung</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Prüfung</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Bereinigung</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Unterbrochen</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s ist im Offline-Modus: Die Änderungen gehen zum Server, sobald es wieder online ist.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>Die Sicherung „%s“ ist fällig und beginnt jetzt; danach läuft sie nach ihrem Zeitplan.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Bestanden</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Auflisten</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Namen</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Freier Platz</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Schreiben</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Attribute</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Teilweises Lesen</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Schreiben an einer Stelle</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Änderungszeit</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Umbenennen</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Groß- und Kleinschreibung</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Lange Namen</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Namen in jeder Schrift</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Windows-Namen</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Hostschlüssel</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Abgebrochen</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Zugriffsmodul</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>Der Server kann verwendet werden.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>Mit diesen Einstellungen kann der Server nicht verwendet werden.</translation>
    </message>
</context>
</TS>
