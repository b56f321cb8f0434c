<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — unità: %d</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Apri Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Monta</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Smonta</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Apri cartella</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Sincronizza ora</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Esci</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(nessuna unità)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Aggiornamento automatico</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Cerca aggiornamenti</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Installa aggiornamento %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Aggiornamento di Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>È installata la versione più recente.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>È disponibile la versione %s. Installarla dal menu di Tarn.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>La versione %s è stata scaricata e verrà installata. Le unità non saranno disponibili per circa un minuto.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn è stato aggiornato alla versione %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Impossibile cercare aggiornamenti: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>montata</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>smontata</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>non in linea</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>errore</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Servizio Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Il servizio Tarn non è installato o non è in esecuzione. Installarlo ora? Sono necessari i diritti di amministratore.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Installa</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>Il driver del file system FUSE non è installato; senza di esso le unità non possono essere montate.

Installare il pacchetto fuse3 con il gestore dei pacchetti del sistema:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>Driver FUSE non installato</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — unità di rete</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Unità</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Trasferimenti</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Registro</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Unità</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Nome</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>Server</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>Stato</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>In attesa</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Aggiungi</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Modifica</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Rimuovi</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Monta</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Smonta</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Verifica</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Sincronizza</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Lavora non in linea</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Lavora in linea</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Svuota cache</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Aggiorna</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>Rimuovere l&apos;unità «%s»? La sua cache, compresi i dati non ancora inviati, verrà eliminata.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Rimuovi unità</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>File</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Direzione</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Avanzamento</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>Stato</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ caricamento</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ scaricamento</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>attivo</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>in attesa</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>nuovo tentativo %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>completato</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>non riuscito</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Nuova unità</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Unità</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Connessione</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Rete</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Compatibilità</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Nome</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Lettera</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Protocollo</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Indirizzo (link)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Porta</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Percorso remoto</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Nome utente</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Mostra</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>Chiave SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Opzioni</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Verifica certificato</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Monta all&apos;avvio</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Sola lettura</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: incollare il link completo, ad esempio https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — porta e percorso vengono presi da lì, così come il nome utente Nextcloud; resta da digitare solo la password (meglio una password per app). Con Nextcloud i caricamenti si possono riprendere e l&apos;ora di modifica viene conservata; gli altri server ricevono di nuovo l&apos;intero file a ogni modifica.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: qualsiasi server SSH (OpenSSH). Password o chiave PEM/OpenSSH; in tal caso la password è la passphrase della chiave. Scrittura in qualsiasi posizione, ripresa in entrambe le direzioni, ridenominazione con sostituzione.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 su TCP. Opzioni: uid=1000,gid=1000 - l&apos;identità usata sul server; mountport=NNN,nfsport=NNN se necessario. Il percorso remoto è l&apos;export, ad esempio /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Timeout di connessione, s</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>Timeout di I/O, s</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Tentativi</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Intervallo keepalive, s</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Attesa tra tentativi min, ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Attesa tra tentativi max, ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Connessioni</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Limite di velocità, KB/s (0 = nessuno)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Parte di caricamento, MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Parti in parallelo</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Ripeti i caricamenti fino alla riuscita</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Riprendi i trasferimenti interrotti</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Verifica la dimensione dopo il caricamento</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Collegamenti scadenti: aumentare timeout e tentativi, ridurre la parte. Reti veloci e file grandi: più connessioni e parti in parallelo. I caricamenti partono dalla cache in background e sopravvivono ai riavvii.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Cartella della cache</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Dimensione della cache, MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Dimensione blocco, KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Lettura anticipata, blocchi</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Lettura anticipata max, blocchi</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>TTL dei metadati, s</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Ritardo di scrittura differita, s</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Precarica per intero i file sotto, MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Modalità non in linea (solo cache, le scritture restano in coda)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Non rimuovere mai i dati non inviati</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>La cache lavora a blocchi: viene scaricato solo ciò che si legge, una sola volta. File grandi: blocchi da 4-16 MB; molti file piccoli: 64-256 KB. Un TTL dei metadati più lungo significa meno richieste al server, ma le modifiche fatte altrove diventano visibili più tardi.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Normalizzazione Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Nomi diversi solo per maiuscole</translation>
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
        <translation>lascia invariato</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>rifiuta</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>consenti</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Consenti nomi riservati (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Consenti punto / spazio finale</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Imposta l&apos;ora di modifica sul server</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Nascondi i file che iniziano con un punto</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Sui server Linux «a.txt» e «A.txt» sono due file, e il gestore di file li mostra entrambi; un server che non distingue maiuscole e minuscole (una condivisione Windows o macOS) può conservarne uno solo. Per impostazione predefinita Tarn non consente di creare una coppia simile. I nomi possono occupare fino a 255 byte UTF-8 (non caratteri).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Verifica</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Annulla</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Verifica del server...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Verifica del server</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Inserire un server.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Impossibile salvare: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Chiavi (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Chiudi</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Installazione del driver FUSE (pacchetto fuse3)… Di solito richiede circa un minuto.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>Il driver FUSE è installato. Tarn è pronto.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>Impossibile installare il driver FUSE: %s

Installare manualmente il pacchetto fuse3 con il gestore dei pacchetti del sistema, ad esempio «sudo apt install fuse3».</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Impostazioni</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Lingua</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Automatica — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Aggiornamenti</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Installa automaticamente gli aggiornamenti</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn cerca una nuova versione ogni 6 ore. Se questa opzione è disattivata, Tarn segnala soltanto la nuova versione; installarla da qui o dal menu dell&apos;area di notifica.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Versione installata: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Ultimo controllo: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Gli aggiornamenti non sono ancora stati cercati.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Ricerca di aggiornamenti…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(salvata)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Copia</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Copia tutto</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Interrompi caricamento…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>Interrompere il caricamento di «%s»?

Le modifiche a questo file su questo computer vengono scartate; la versione ora presente sul server resta.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Backup</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Cartelle</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Conservato su</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Pianificazione</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Ultima copia</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Esegui backup ora</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Interrompi</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Ripristina…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Registro…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Verifica copia</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Manuale</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>Ogni %d h</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Ogni giorno alle %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Nessuna copia</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>In attesa del proprio turno</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Connessione…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Copia: %s esaminati, %s inviati</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Rimozione delle versioni vecchie…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Ripristino: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Verifica: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Completato</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Completato, con avvisi</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Non riuscito</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Interrotto</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>prossimo: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Le cartelle vengono copiate, cifrate, sul proprio server; le versioni vecchie vengono conservate secondo le regole di ciascun backup.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>I backup sono configurati da un amministratore di questo computer.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>Rimuovere il backup «%s»?

Viene rimossa solo l&apos;attività. La copia sul server resta dov&apos;è.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Nuovo backup</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Backup</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Cartelle da copiare</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Aggiungi cartella…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Escludi (maschere separate da ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Conserva la copia su</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Altro server…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Cartella di destinazione</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Password del backup</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Ripeti</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>La copia viene cifrata su questo computer con questa password. Senza la password nessuno può leggerla, neppure chi l&apos;ha creata: la password non può essere recuperata. Annotarla.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: il server è l&apos;endpoint (s3.amazonaws.com, oppure https://host:port per MinIO e simili), la cartella è /bucket/folder, nome utente e password sono la chiave di accesso e la chiave segreta. Opzioni: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Quando</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Ogni poche ore</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Ogni giorno</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Intervallo, ore</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>Alle (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Versioni da conservare</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>ultime</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>giornaliere</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>settimanali</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>mensili</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Comprimi</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Aggiungere almeno una cartella da copiare.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>Le due password non coincidono.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Impostare una password per la copia.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>Il server risponde. In questa cartella non c&apos;è ancora una copia: la prima esecuzione la creerà.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>In questa cartella c&apos;è già una copia e la password la apre. Versioni: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Ripristino: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Versione</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s file, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Dimensione</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Modificato</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Su</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Ripristina selezione…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Ripristina tutto…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Elimina versione</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Eliminare questa versione?

I file che non si trovano in nessun&apos;altra versione andranno persi definitivamente.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Lettura della copia…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Dove ripristinare i file?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>Nella posizione originale
I file modificati nel frattempo vengono sostituiti.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>In un&apos;altra cartella…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>Il ripristino è iniziato. L&apos;avanzamento è visibile nella scheda Backup.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — Registro</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>Impossibile leggere il file %s: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: inserire un numero intero da %s a %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Sono necessari i diritti di amministratore. Eseguire questo comando in un terminale:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>Questo sistema non usa systemd, quindi il servizio Tarn non può essere installato né avviato da qui. Avviarlo come root con «tarn run».</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>montaggio in corso…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s è montata in %s ma offre solo la sua cache: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s è ancora in fase di montaggio: il suo server risponde lentamente.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Le unità sono gestite da un amministratore di questo computer.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Il servizio Tarn non è in esecuzione: unità e backup non sono utilizzabili finché non si avvia.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>il servizio non è in esecuzione</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Gli aggiornamenti arrivano con i pacchetti del sistema, tramite il suo programma di aggiornamento.</translation>
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
        <translation>Solo root cambia la lingua: il servizio la conserva per tutti gli utenti di questo computer.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>La lingua è conservata dal servizio, che non è in esecuzione.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Scartare le modifiche a questo backup?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Scarta</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s è salvato, ma non è stato possibile provare l&apos;accesso perché il server non è raggiungibile: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s è montato: le impostazioni modificate valgono al prossimo montaggio. Montarlo di nuovo ora?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Rimonta</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>File ripristinati: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Verifica superata: %s pacchetti (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Problemi trovati dalla verifica: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Versioni vecchie rimosse: %s (%s liberati)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Ripristino</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Verifica</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Pulizia</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Interrotta</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s è in modalità offline: le modifiche vanno al server quando torna online.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>Il backup «%s» è in scadenza e parte ora; poi segue la sua pianificazione.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Superato</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Avviso</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Connessione</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Elenco</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Nomi</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Spazio libero</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Scrittura</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Cartelle</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Attributi</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Letture parziali</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Scrittura a una posizione</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Ora di modifica</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Rinomina</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Tutti i file (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Maiuscole e minuscole</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Nomi lunghi</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Nomi in qualsiasi scrittura</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Nomi di Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Chiave dell&apos;host</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Annullato</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Modulo di accesso</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>Il server si può usare.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>Con queste impostazioni il server non si può usare.</translation>
    </message>
</context>
</TS>
