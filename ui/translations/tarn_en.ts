<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — %d drives</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Open Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Mount</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Unmount</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Open folder</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Sync now</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(no drives)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Auto-update</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Check for updates</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Install update %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Tarn update</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>You have the latest version.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>Version %s is available. Install it from the Tarn menu.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>Version %s is downloaded and will be installed. The drives go away for a minute.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn was updated to version %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Could not check for updates: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>mounted</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>unmounted</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>offline</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>error</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Tarn service</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Install</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>FUSE driver not installed</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — network drives</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Drives</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Transfers</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Log</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Drive</translation>
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
        <translation>State</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>Pending</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Add</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Edit</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Mount</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Unmount</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Check</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Sync</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Offline</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Online</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Clear cache</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Refresh</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Remove drive</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>File</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Direction</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Progress</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>State</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ upload</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ download</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>active</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>waiting</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>retry %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>done</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>failed</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>New drive</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Drive</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Connection</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Network</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Compatibility</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Letter</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Protocol</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Address (link)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Remote path</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Login</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Show</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>SSH key (PEM)</translation>
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
        <translation>Verify certificate</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Mount at start</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Read only</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Connect timeout, s</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>I/O timeout, s</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Attempts</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Keepalive, s</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Retry delay min, ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Retry delay max, ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Connections</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Speed limit, KB/s (0 = none)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Upload chunk, MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Parallel chunks</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Retry uploads until they succeed</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Resume interrupted transfers</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Verify size after upload</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Cache folder</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Cache size, MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Block, KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Read-ahead, blocks</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Read-ahead max, blocks</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>Metadata TTL, s</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Write-back delay, s</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Prefetch whole files below, MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Offline mode (cache only, writes queue up)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Never evict unsent data</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Unicode normalization</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Case collision</translation>
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
        <translation>leave as is</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>refuse</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>allow</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Allow reserved names (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Allow trailing dot / space</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Set modification time on the server</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Hide dot-files</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Check</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Checking the server...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Server check</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Enter a server.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Could not save: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Keys (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>The FUSE driver is installed. Tarn is ready.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Automatic — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Updates</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Install updates automatically</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Installed version %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Last check: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Updates have not been checked yet.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Checking for updates…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(saved)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Copy all</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Stop upload…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Backup</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Folders</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Kept on</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Schedule</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Last copy</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Back up now</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Restore…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Log…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Verify copy</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>By hand</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>Every %d h</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Daily at %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>No copy yet</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>Waiting for its turn</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Connecting…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Copying: %s looked through, %s sent</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Removing old versions…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Restoring: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Verifying: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Done</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Done, with warnings</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Failed</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Stopped</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>next: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Backups are set up by an administrator of this computer.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>New backup</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Backup</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Folders to copy</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Add folder…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Skip (masks, separated by ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Keep the copy on</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Another server…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Folder there</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Backup password</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Once more</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>When</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Every few hours</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Every day</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Every, hours</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>At (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Versions to keep</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>latest</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>daily</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>weekly</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>monthly</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Compress</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Add at least one folder to copy.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>The two passwords differ.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Set a password for the copy.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>The server answers. There is no copy in this folder yet: the first run creates it.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>A copy is already in this folder and the password opens it. Versions: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Restore: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s files, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Size</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Modified</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Up</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Restore selected…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Restore everything…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Delete version</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Delete this version?

Files that are in no other version are gone for good.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Reading the copy…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Where should the files go?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>To where they were
Files that have changed since are replaced.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>To another folder…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>Restoring has started. Its progress is on the Backup tab.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — Log</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>The file %s cannot be read: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: enter a whole number from %s to %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Administrator rights are needed. Run this command in a terminal:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>mounting…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s is mounted at %s but serves only its cache: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s is still being mounted: its server is slow to answer.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Drives are managed by an administrator of this computer.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>The Tarn service is not running: drives and backups cannot be used until it starts.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>the service is not running</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Updates come with the system&apos;s packages, through its software updater.</translation>
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
        <translation>Only root changes the language: the service keeps it for every user of this computer.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>The language is kept by the service, which is not running.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Discard the changes to this backup?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Discard</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Mount again</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Files restored: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Check passed: %s packs (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Problems found by the check: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Old versions removed: %s (%s freed)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Restore</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Verification</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Cleanup</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Interrupted</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s is in offline mode: its changes go to the server once it is back online.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Passed</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Connection</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Listing</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Names</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Free space</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Writing</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Folders</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Attributes</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Partial reads</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Writes at an offset</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Modification time</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Renaming</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Letter case</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Long names</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Names in any script</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Windows names</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Host key</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Canceled</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Back-end</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>The server can be used.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>The server cannot be used with these settings.</translation>
    </message>
</context>
</TS>
