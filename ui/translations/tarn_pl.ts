<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl_PL">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — dyski: %d</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Otwórz Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Zamontuj</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Odmontuj</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Otwórz folder</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Synchronizuj teraz</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Zakończ</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(brak dysków)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Automatyczna aktualizacja</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Sprawdź aktualizacje</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Zainstaluj aktualizację %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Aktualizacja Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>Używasz najnowszej wersji.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>Dostępna jest wersja %s. Zainstaluj ją z menu Tarn.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>Wersja %s została pobrana i zostanie zainstalowana. Dyski znikną na około minutę.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn został zaktualizowany do wersji %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Nie udało się sprawdzić aktualizacji: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>zamontowany</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>odmontowany</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>tryb offline</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>błąd</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Usługa Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Usługa Tarn nie jest zainstalowana lub nie działa. Zainstalować ją teraz? Wymagane są uprawnienia administratora.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Zainstaluj</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>Sterownik systemu plików FUSE nie jest zainstalowany; bez niego nie można montować dysków.

Zainstaluj pakiet fuse3 za pomocą menedżera pakietów systemu:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>Sterownik FUSE nie jest zainstalowany</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — dyski sieciowe</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Dyski</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Transfery</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Dziennik</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Dysk</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Nazwa</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>Serwer</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>Stan</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>Pamięć podręczna</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>Oczekujące</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Dodaj</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Edytuj</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Usuń</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Zamontuj</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Odmontuj</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Sprawdź</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Synchronizuj</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Pracuj offline</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Pracuj online</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Wyczyść pamięć podręczną</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Odśwież</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>Usunąć dysk „%s”? Jego pamięć podręczna, łącznie z niewysłanymi danymi, zostanie usunięta.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Usuń dysk</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>Plik</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Kierunek</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Postęp</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>Stan</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ wysyłanie</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ pobieranie</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>aktywny</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>oczekuje</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>ponowienie %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>gotowe</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>niepowodzenie</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Nowy dysk</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Dysk</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Połączenie</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Sieć</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Pamięć podręczna</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Zgodność</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Nazwa</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Litera</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Protokół</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Adres (link)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Ścieżka zdalna</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Użytkownik</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Hasło</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Pokaż</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>Klucz SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Opcje</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Weryfikuj certyfikat</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Montuj przy uruchomieniu</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Tylko do odczytu</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: wklej cały link, np. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — zostaną z niego wzięte port i ścieżka, a także nazwa użytkownika Nextcloud; pozostaje tylko wpisać hasło (lepiej hasło aplikacji). Nextcloud obsługuje wznawianie wysyłania i czas modyfikacji; inne serwery przy każdej zmianie otrzymują cały plik od nowa.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: dowolny serwer SSH (OpenSSH). Hasło lub klucz PEM/OpenSSH; hasło jest wtedy hasłem klucza. Zapis od dowolnego miejsca, wznawianie w obie strony, zmiana nazwy z zastąpieniem.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 przez TCP. Opcje: uid=1000,gid=1000 - tożsamość używana na serwerze; mountport=NNN,nfsport=NNN w razie potrzeby. Ścieżka zdalna to eksport, np. /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Limit czasu połączenia, s</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>Limit czasu we/wy, s</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Liczba prób</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Interwał keepalive, s</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Odstęp ponowień min., ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Odstęp ponowień maks., ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Liczba połączeń</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Limit prędkości, KB/s (0 = brak)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Fragment wysyłania, MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Równoległe fragmenty</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Ponawiaj wysyłanie aż do skutku</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Wznawiaj przerwane transfery</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Sprawdzaj rozmiar po wysłaniu</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Słabe łącza: zwiększ limity czasu i liczbę prób, zmniejsz fragment. Szybkie sieci i duże pliki: więcej połączeń i równoległych fragmentów. Wysyłanie odbywa się w tle z pamięci podręcznej i trwa także po ponownym uruchomieniu.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Folder pamięci podręcznej</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Rozmiar pamięci podręcznej, MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Rozmiar bloku, KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Odczyt z wyprzedzeniem, bloki</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Odczyt z wyprzedzeniem maks., bloki</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>TTL metadanych, s</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Opóźnienie zapisu, s</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Pobieraj z góry całe pliki mniejsze niż, MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Tryb offline (tylko pamięć podręczna, zapisy czekają w kolejce)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Nigdy nie usuwaj niewysłanych danych</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>Pamięć podręczna działa blokami: pobierane jest tylko to, co jest odczytywane, i to dokładnie raz. Duże pliki: bloki 4-16 MB; wiele małych plików: 64-256 KB. Dłuższy TTL metadanych oznacza mniej zapytań do serwera, ale zmiany wprowadzone gdzie indziej są widoczne później.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Normalizacja Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Kolizja wielkości liter</translation>
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
        <translation>pozostaw bez zmian</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>odrzucaj</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>zezwalaj</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Zezwalaj na nazwy zastrzeżone (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Zezwalaj na kropkę / spację na końcu nazwy</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Ustawiaj czas modyfikacji na serwerze</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Ukrywaj pliki zaczynające się od kropki</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Na serwerach Linux „a.txt” i „A.txt” to dwa pliki, a menedżer plików pokazuje oba; serwer, który nie rozróżnia wielkości liter (udział Windows lub macOS), może zachować tylko jeden. Domyślnie Tarn nie pozwala utworzyć takiej pary. Nazwy mogą mieć do 255 bajtów UTF-8 (nie znaków).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Sprawdź</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Anuluj</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Sprawdzanie serwera...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Sprawdzenie serwera</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Podaj serwer.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Nie udało się zapisać: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Klucze (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Zamknij</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Instalowanie sterownika FUSE (pakiet fuse3)… Zwykle trwa to około minuty.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>Sterownik FUSE jest zainstalowany. Tarn jest gotowy.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>Nie udało się zainstalować sterownika FUSE: %s

Zainstaluj pakiet fuse3 samodzielnie za pomocą menedżera pakietów systemu, np. „sudo apt install fuse3”.</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Ustawienia</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Język</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Automatycznie — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Aktualizacje</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Instaluj aktualizacje automatycznie</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn sprawdza dostępność nowej wersji co 6 godzin. Gdy ta opcja jest wyłączona, Tarn tylko informuje o nowej wersji; zainstaluj ją tutaj lub z menu w obszarze powiadomień.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Zainstalowana wersja: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Ostatnie sprawdzenie: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Aktualizacje nie były jeszcze sprawdzane.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Sprawdzanie aktualizacji…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(zapisano)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Kopiuj</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Kopiuj wszystko</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Zatrzymaj wysyłanie…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>Zatrzymać wysyłanie „%s”?

Zmiany w tym pliku na tym komputerze zostaną odrzucone; wersja, która jest teraz na serwerze, pozostanie.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Kopia zapasowa</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Foldery</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Przechowywana na</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Harmonogram</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Ostatnia kopia</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Utwórz kopię teraz</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Zatrzymaj</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Przywróć…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Dziennik…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Sprawdź kopię</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Ręcznie</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>Co %d godz.</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Codziennie o %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Brak kopii</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>Czeka na swoją kolej</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Łączenie…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Kopiowanie: przejrzano %s, wysłano %s</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Usuwanie starych wersji…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Przywracanie: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Sprawdzanie: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Gotowe</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Gotowe, z ostrzeżeniami</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Niepowodzenie</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Zatrzymano</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>następna: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Foldery są kopiowane na Twój własny serwer w postaci zaszyfrowanej; stare wersje są przechowywane według reguł każdej kopii zapasowej.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Kopie zapasowe konfiguruje administrator tego komputera.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>Usunąć kopię zapasową „%s”?

Usuwane jest tylko zadanie. Kopia na serwerze pozostaje na miejscu.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Nowa kopia zapasowa</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Kopia zapasowa</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Foldery do skopiowania</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Dodaj folder…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Pomiń (maski oddzielone ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Przechowuj kopię na</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Inny serwer…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Folder docelowy</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Hasło kopii zapasowej</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Powtórz</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>Kopia jest szyfrowana na tym komputerze tym hasłem. Bez hasła nikt nie może jej odczytać, także Ty: hasła nie da się odzyskać. Zapisz je.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: serwer to punkt końcowy (s3.amazonaws.com lub https://host:port dla MinIO i podobnych), folder to /bucket/folder, użytkownik i hasło to klucz dostępu i klucz tajny. Opcje: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Kiedy</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Co kilka godzin</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Codziennie</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Co ile godzin</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>O (gg:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Wersje do zachowania</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>najnowsze</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>dzienne</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>tygodniowe</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>miesięczne</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Kompresuj</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Dodaj co najmniej jeden folder do skopiowania.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>Hasła się różnią.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Ustaw hasło kopii.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>Serwer odpowiada. W tym folderze nie ma jeszcze kopii: utworzy ją pierwsze uruchomienie.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>W tym folderze jest już kopia i hasło ją otwiera. Wersje: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Przywracanie: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Wersja</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (pliki: %s, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Rozmiar</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Zmodyfikowano</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>W górę</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Przywróć zaznaczone…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Przywróć wszystko…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Usuń wersję</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Usunąć tę wersję?

Pliki, których nie ma w żadnej innej wersji, zostaną utracone na zawsze.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Odczytywanie kopii…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Dokąd przywrócić pliki?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>Tam, gdzie były
Pliki zmienione od tego czasu zostaną zastąpione.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>Do innego folderu…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>Przywracanie się rozpoczęło. Jego postęp widać na karcie Kopia zapasowa.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — dziennik</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>Nie można odczytać pliku %s: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: wpisz liczbę całkowitą od %s do %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Wymagane są uprawnienia administratora. Uruchom to polecenie w terminalu:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>Ten system nie używa systemd, więc usługi Tarn nie można stąd zainstalować ani uruchomić. Uruchom ją jako root poleceniem „tarn run”.</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>montowanie…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s jest zamontowany w %s, ale udostępnia tylko swoją pamięć podręczną: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s jest jeszcze montowany: jego serwer odpowiada powoli.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Dyskami zarządza administrator tego komputera.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Usługa Tarn nie działa: dysków i kopii zapasowych nie można używać, dopóki się nie uruchomi.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>usługa nie działa</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Aktualizacje przychodzą z pakietami systemu, przez jego narzędzie aktualizacji.</translation>
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
        <translation>Język zmienia tylko root: usługa przechowuje go dla wszystkich użytkowników tego komputera.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>Język przechowuje usługa, która nie działa.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Odrzucić zmiany w tej kopii zapasowej?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Odrzuć</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s zapisano, ale logowania nie dało się sprawdzić, bo serwer jest nieosiągalny: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s jest zamontowany: zmienione ustawienia zadziałają po ponownym zamontowaniu. Zamontować ponownie teraz?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Zamontuj ponownie</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Przywrócone pliki: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Sprawdzenie zaliczone: paczki: %s (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Problemy znalezione przy sprawdzeniu: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Usunięte stare wersje: %s (zwolniono %s)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Przywracanie</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Sprawdzenie</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Porządkowanie</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Przerwano</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s jest w trybie offline: zmiany trafią na serwer, gdy znów będzie online.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>Kopia zapasowa „%s” jest należna i zaczyna się teraz; potem działa według harmonogramu.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Zaliczone</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Ostrzeżenie</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Połączenie</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Lista plików</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Nazwy</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Wolne miejsce</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Zapis</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Foldery</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Atrybuty</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Odczyt częściowy</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Zapis od pozycji</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Czas modyfikacji</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Zmiana nazwy</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Wszystkie pliki (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Wielkość liter</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Długie nazwy</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Nazwy w dowolnym piśmie</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Nazwy Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Klucz hosta</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Anulowano</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Moduł dostępu</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>Serwera można używać.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>Z tymi ustawieniami serwera nie można używać.</translation>
    </message>
</context>
</TS>
