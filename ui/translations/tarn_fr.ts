<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — lecteurs&#xa0;: %d</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Ouvrir Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Monter</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Démonter</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Ouvrir le dossier</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Synchroniser maintenant</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Quitter</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(aucun lecteur)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Mise à jour automatique</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Rechercher des mises à jour</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Installer la mise à jour %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Mise à jour de Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>Vous disposez de la dernière version.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>La version %s est disponible. Installez-la depuis le menu de Tarn.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>La version %s a été téléchargée et va être installée. Les lecteurs seront indisponibles pendant une minute.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn a été mis à jour vers la version %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Impossible de rechercher des mises à jour&#xa0;: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>monté</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>démonté</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>hors ligne</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>erreur</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Service Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Le service Tarn n&apos;est pas installé ou ne fonctionne pas. L&apos;installer maintenant&#xa0;? Des droits d&apos;administrateur sont nécessaires.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Installer</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>Le pilote de système de fichiers FUSE n&apos;est pas installé ; sans lui, les lecteurs ne peuvent pas être montés.

Installez le paquet fuse3 avec le gestionnaire de paquets du système :
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>Pilote FUSE non installé</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — lecteurs réseau</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Lecteurs</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Transferts</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Journal</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Lecteur</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>Serveur</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>État</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>En attente</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Ajouter</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Modifier</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Supprimer</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Monter</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Démonter</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Vérifier</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Synchroniser</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Passer hors ligne</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Passer en ligne</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Vider le cache</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Actualiser</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>Supprimer le lecteur «&#xa0;%s&#xa0;»&#xa0;? Son cache, y compris les données non envoyées, sera effacé.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Supprimer le lecteur</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>Fichier</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Sens</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Progression</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>État</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ envoi</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ téléchargement</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>en cours</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>en attente</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>nouvel essai %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>terminé</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>échec</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Nouveau lecteur</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Lecteur</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Connexion</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Réseau</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Compatibilité</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Lettre</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Protocole</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Adresse (lien)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Chemin distant</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Identifiant</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Mot de passe</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Afficher</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>Clé SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Vérifier le certificat</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Monter au démarrage</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Lecture seule</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV&#xa0;: collez le lien complet, par exemple https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — le port et le chemin en sont tirés, de même que l&apos;identifiant Nextcloud&#xa0;; il ne reste que le mot de passe à saisir (un mot de passe d&apos;application est préférable). Avec Nextcloud, les envois interrompus reprennent et la date de modification est conservée&#xa0;; les autres serveurs renvoient le fichier entier à chaque modification.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP&#xa0;: tout serveur SSH (OpenSSH). Mot de passe ou clé PEM/OpenSSH&#xa0;; le mot de passe est alors la phrase secrète de la clé. Écriture à n&apos;importe quelle position, reprise dans les deux sens, renommage avec remplacement.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 sur TCP. Options&#xa0;: uid=1000,gid=1000 - l&apos;identité utilisée sur le serveur&#xa0;; mountport=NNN,nfsport=NNN si nécessaire. Le chemin distant est l&apos;export, par exemple /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Délai de connexion, s</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>Délai d&apos;E/S, s</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Tentatives</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Intervalle keepalive, s</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Délai avant nouvel essai min, ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Délai avant nouvel essai max, ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Connexions</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Limite de débit, Ko/s (0 = aucune)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Morceau d&apos;envoi, Mo</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Morceaux en parallèle</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Réessayer les envois jusqu&apos;à ce qu&apos;ils réussissent</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Reprendre les transferts interrompus</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Vérifier la taille après l&apos;envoi</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Liaisons médiocres&#xa0;: augmentez les délais et les tentatives, réduisez la taille des morceaux. Réseaux rapides et gros fichiers&#xa0;: plus de connexions et de morceaux en parallèle. Les envois partent du cache en arrière-plan et survivent aux redémarrages.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Dossier du cache</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Taille du cache, Mo</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Taille de bloc, Ko</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Lecture anticipée, blocs</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Lecture anticipée max, blocs</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>Durée de vie des métadonnées, s</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Délai d&apos;écriture différée, s</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Précharger en entier les fichiers de moins de, Mo</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Mode hors ligne (cache uniquement, les écritures attendent)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Ne jamais évincer les données non envoyées</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>Le cache fonctionne par blocs&#xa0;: seul ce qui est lu est téléchargé, une seule fois. Gros fichiers&#xa0;: blocs de 4-16 Mo&#xa0;; nombreux petits fichiers&#xa0;: 64-256 Ko. Une durée de vie des métadonnées plus longue signifie moins de requêtes au serveur, mais les modifications faites ailleurs apparaissent plus tard.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Normalisation Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Conflit de casse</translation>
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
        <translation>laisser tel quel</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>refuser</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>autoriser</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Autoriser les noms réservés (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Autoriser un point / une espace en fin de nom</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Définir la date de modification sur le serveur</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Masquer les fichiers commençant par un point</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Sur les serveurs Linux, « a.txt » et « A.txt » sont deux fichiers, et le gestionnaire de fichiers affiche les deux ; un serveur qui ignore la casse (un partage Windows ou macOS) peut n&apos;en garder qu&apos;un. Par défaut, Tarn refuse de créer une telle paire. Les noms peuvent compter jusqu&apos;à 255 octets UTF-8 (et non caractères).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Vérifier</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Vérification du serveur...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Vérification du serveur</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Indiquez un serveur.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Impossible d&apos;enregistrer&#xa0;: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Clés (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Installation du pilote FUSE (paquet fuse3)… Cela prend généralement environ une minute.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>Le pilote FUSE est installé. Tarn est prêt.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>Le pilote FUSE n&apos;a pas pu être installé&#xa0;: %s

Installez vous-même le paquet fuse3 avec le gestionnaire de paquets du système, par exemple «&#xa0;sudo apt install fuse3&#xa0;».</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Paramètres</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Langue</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Automatique — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Mises à jour</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Installer les mises à jour automatiquement</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn recherche une nouvelle version toutes les 6 heures. Si cette option est désactivée, Tarn vous signale seulement la nouvelle version&#xa0;; installez-la ici ou depuis le menu de la zone de notification.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Version installée&#xa0;: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Dernière vérification&#xa0;: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Aucune recherche de mises à jour n&apos;a encore été faite.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Recherche de mises à jour…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(enregistrée)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Copier</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Tout copier</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Arrêter l&apos;envoi…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>Arrêter l&apos;envoi de «&#xa0;%s&#xa0;»&#xa0;?

Les modifications de ce fichier sur cet ordinateur seront abandonnées&#xa0;; la version qui se trouve actuellement sur le serveur est conservée.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Sauvegarde</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Dossiers</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Conservée sur</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Planification</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Dernière sauvegarde</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Sauvegarder maintenant</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Restaurer…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Journal…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Vérifier la sauvegarde</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Manuellement</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>Toutes les %d h</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Chaque jour à %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Aucune sauvegarde</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>En attente de son tour</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Connexion…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Sauvegarde&#xa0;: %s parcourus, %s envoyés</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Suppression des anciennes versions…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Restauration&#xa0;: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Vérification&#xa0;: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Terminé</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Terminé, avec des avertissements</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Échec</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Arrêté</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>prochaine&#xa0;: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Les dossiers sont copiés, chiffrés, sur votre propre serveur&#xa0;; les anciennes versions sont conservées selon les règles de chaque sauvegarde.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Les sauvegardes sont configurées par un administrateur de cet ordinateur.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>Supprimer la sauvegarde «&#xa0;%s&#xa0;»&#xa0;?

Seule la tâche est supprimée. La sauvegarde sur le serveur reste en place.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Nouvelle sauvegarde</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Sauvegarde</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Dossiers à sauvegarder</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Ajouter un dossier…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Ignorer (masques, séparés par&#xa0;;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Conserver la sauvegarde sur</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Autre serveur…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Dossier de destination</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Mot de passe de la sauvegarde</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Confirmation</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>La sauvegarde est chiffrée sur cet ordinateur avec ce mot de passe. Sans lui, personne ne peut la lire, pas même vous&#xa0;: il ne peut pas être récupéré. Notez-le.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3&#xa0;: le serveur est le point de terminaison (s3.amazonaws.com, ou https://host:port pour MinIO et similaires), le dossier est /bucket/folder, l&apos;identifiant et le mot de passe sont la clé d&apos;accès et la clé secrète. Options&#xa0;: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Quand</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Toutes les quelques heures</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Chaque jour</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Intervalle, heures</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>À (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Versions à conserver</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>dernières</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>quotidiennes</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>hebdomadaires</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>mensuelles</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Compresser</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Ajoutez au moins un dossier à sauvegarder.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>Les deux mots de passe sont différents.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Définissez un mot de passe pour la sauvegarde.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>Le serveur répond. Ce dossier ne contient encore aucune sauvegarde&#xa0;: la première exécution la créera.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>Une sauvegarde se trouve déjà dans ce dossier et le mot de passe l&apos;ouvre. Versions&#xa0;: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Restaurer&#xa0;: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s fichiers, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Taille</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Modifié</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Remonter</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Restaurer la sélection…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Tout restaurer…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Supprimer la version</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Supprimer cette version&#xa0;?

Les fichiers qui ne figurent dans aucune autre version seront définitivement perdus.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Lecture de la sauvegarde…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Où placer les fichiers&#xa0;?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>À leur emplacement d&apos;origine
Les fichiers modifiés depuis seront remplacés.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>Dans un autre dossier…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>La restauration a commencé. Sa progression s&apos;affiche dans l&apos;onglet Sauvegarde.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — Journal</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>Impossible de lire le fichier %s&#xa0;: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s&#xa0;: saisissez un nombre entier de %s à %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Des droits d&apos;administrateur sont nécessaires. Exécutez cette commande dans un terminal&#xa0;:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>Ce système n&apos;utilise pas systemd&#xa0;: le service Tarn ne peut donc être ni installé ni démarré d&apos;ici. Démarrez-le en tant que root avec «&#xa0;tarn run&#xa0;».</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>montage…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s est monté sur %s mais ne sert que son cache : %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s est encore en cours de montage : son serveur tarde à répondre.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Les lecteurs sont gérés par un administrateur de cet ordinateur.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Le service Tarn n&apos;est pas démarré : les lecteurs et les sauvegardes sont indisponibles jusqu&apos;à son démarrage.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>le service n&apos;est pas démarré</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Les mises à jour arrivent avec les paquets du système, par son outil de mise à jour.</translation>
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
        <translation>Mo</translation>
    </message>
    <message id="tarn-267">
        <source>KB/s</source>
        <translation>Ko/s</translation>
    </message>
    <message id="tarn-268">
        <source>Only root changes the language: the service keeps it for every user of this computer.</source>
        <translation>Seul root change la langue : le service la conserve pour tous les utilisateurs de cet ordinateur.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>La langue est conservée par le service, qui ne fonctionne pas.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Abandonner les modifications de cette sauvegarde ?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Abandonner</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s est enregistré, mais la connexion n&apos;a pas pu être essayée, car le serveur est injoignable : %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s est monté : les réglages modifiés s&apos;appliquent au prochain montage. Le remonter maintenant ?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Remonter</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Fichiers restaurés : %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Vérification réussie : %s paquets (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Problèmes trouvés par la vérification : %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Anciennes versions supprimées : %s (%s libérés)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s : %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Restauration</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Vérification</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Nettoyage</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Interrompue</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s est en mode hors ligne : ses modifications iront au serveur dès son retour en ligne.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>La sauvegarde « %s » est due et commence maintenant ; ensuite, elle suit son planning.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Réussi</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Attention</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Connexion</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Liste</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Noms</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Espace libre</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Écriture</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Dossiers</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Attributs</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Lectures partielles</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Écriture à une position</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Date de modification</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Renommage</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Tous les fichiers (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Casse des lettres</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Noms longs</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Noms dans toute écriture</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Noms Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Clé d&apos;hôte</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Annulé</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Module d&apos;accès</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>Le serveur peut être utilisé.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>Le serveur ne peut pas être utilisé avec ces réglages.</translation>
    </message>
</context>
</TS>
