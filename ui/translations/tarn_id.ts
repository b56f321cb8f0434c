<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="id_ID">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — %d kandar</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Buka Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Kaitkan</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Lepaskan</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Buka folder</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Sinkronkan sekarang</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Keluar</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(tidak ada kandar)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Pembaruan otomatis</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Periksa pembaruan</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Pasang pembaruan %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Pembaruan Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>Anda sudah memakai versi terbaru.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>Versi %s tersedia. Pasang dari menu Tarn.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>Versi %s sudah diunduh dan akan dipasang. Kandar akan hilang selama sekitar satu menit.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn telah diperbarui ke versi %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Tidak dapat memeriksa pembaruan: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>terkait</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>tidak terkait</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>luring</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>galat</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Layanan Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Layanan Tarn belum terpasang atau tidak berjalan. Pasang sekarang? Diperlukan hak administrator.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Pasang</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>Driver sistem berkas FUSE belum terpasang; tanpanya kandar tidak dapat dikaitkan.

Pasang paket fuse3 dengan manajer paket sistem:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>Driver FUSE belum terpasang</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — kandar jaringan</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Kandar</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Transfer</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Log</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Kandar</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Nama</translation>
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
        <translation>Tertunda</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Tambah</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Sunting</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Hapus</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Kaitkan</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Lepaskan</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Periksa</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Sinkronkan</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Kerja luring</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Kerja daring</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Kosongkan cache</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Segarkan</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>Hapus kandar &quot;%s&quot;? Cache-nya, termasuk data yang belum terkirim, akan dihapus.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Hapus kandar</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>Berkas</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Arah</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Kemajuan</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>Status</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ unggah</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ unduh</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>aktif</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>menunggu</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>coba ulang %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>selesai</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>gagal</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Kandar baru</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Kandar</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Koneksi</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Jaringan</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Kompatibilitas</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Nama</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Huruf</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Protokol</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Alamat (tautan)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Jalur jarak jauh</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Nama pengguna</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Kata sandi</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Tampilkan</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>Kunci SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Opsi</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Verifikasi sertifikat</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Kaitkan saat mulai</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Hanya baca</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: tempelkan tautan lengkap, misalnya https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — port dan jalur diambil dari tautan itu, begitu juga nama pengguna Nextcloud; tinggal mengetik kata sandi (lebih baik kata sandi aplikasi). Dengan Nextcloud, unggahan dapat dilanjutkan dan waktu modifikasi dipertahankan; server lain menerima ulang seluruh berkas pada setiap perubahan.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: server SSH apa pun (OpenSSH). Kata sandi atau kunci PEM/OpenSSH; kata sandi lalu menjadi frasa sandi kunci. Menulis di posisi mana pun, melanjutkan ke dua arah, mengganti nama dengan menimpa.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 melalui TCP. Opsi: uid=1000,gid=1000 - identitas yang dipakai di server; mountport=NNN,nfsport=NNN bila perlu. Jalur jarak jauh adalah ekspor, misalnya /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Batas waktu koneksi, detik</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>Batas waktu I/O, detik</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Jumlah percobaan</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Interval keepalive, detik</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Jeda coba ulang min, ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Jeda coba ulang maks, ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Jumlah koneksi</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Batas kecepatan, KB/s (0 = tanpa batas)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Potongan unggahan, MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Potongan paralel</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Ulangi unggahan sampai berhasil</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Lanjutkan transfer yang terputus</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Verifikasi ukuran setelah unggah</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Koneksi buruk: naikkan batas waktu dan jumlah percobaan, perkecil potongan. Jaringan cepat dan berkas besar: lebih banyak koneksi dan potongan paralel. Unggahan berjalan di latar belakang dari cache dan tetap berlanjut setelah mulai ulang.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Folder cache</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Ukuran cache, MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Ukuran blok, KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Baca di muka, blok</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Baca di muka maks, blok</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>TTL metadata, detik</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Tunda tulis balik, detik</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Ambil di muka seluruh berkas di bawah, MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Mode luring (hanya cache, penulisan diantrekan)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Jangan pernah membuang data yang belum terkirim</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>Cache bekerja per blok: hanya yang dibaca yang diunduh, tepat sekali. Berkas besar: blok 4-16 MB; banyak berkas kecil: 64-256 KB. TTL metadata yang lebih lama berarti lebih sedikit permintaan ke server, tetapi perubahan dari tempat lain terlihat lebih lambat.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Normalisasi Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Nama yang hanya beda huruf besar/kecil</translation>
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
        <translation>biarkan apa adanya</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>tolak</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>izinkan</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Izinkan nama khusus (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Izinkan titik / spasi di akhir nama</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Tetapkan waktu modifikasi di server</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Sembunyikan berkas berawalan titik</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Di server Linux, &quot;a.txt&quot; dan &quot;A.txt&quot; adalah dua berkas, dan manajer berkas menampilkan keduanya; server yang tidak membedakan huruf besar-kecil (berbagi Windows atau macOS) mungkin hanya menyimpan satu. Secara bawaan Tarn menolak membuat pasangan seperti itu. Nama boleh sampai 255 bita UTF-8 (bukan karakter).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Periksa</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Batal</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Memeriksa server...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Pemeriksaan server</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Masukkan server.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Tidak dapat menyimpan: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Kunci (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Tutup</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Memasang driver FUSE (paket fuse3)… Biasanya perlu sekitar satu menit.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>Driver FUSE sudah terpasang. Tarn siap.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>Driver FUSE tidak dapat dipasang: %s

Pasang sendiri paket fuse3 dengan manajer paket sistem, misalnya &quot;sudo apt install fuse3&quot;.</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Pengaturan</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Bahasa</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Otomatis — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Pembaruan</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Pasang pembaruan secara otomatis</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn memeriksa versi baru setiap 6 jam. Bila ini dimatikan, Tarn hanya memberi tahu Anda tentang versi baru; pasang dari sini atau dari menu di baki sistem.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Versi terpasang: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Pemeriksaan terakhir: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Pembaruan belum pernah diperiksa.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Memeriksa pembaruan…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(tersimpan)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Salin</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Salin semua</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Hentikan unggahan…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>Hentikan unggahan &quot;%s&quot;?

Perubahan berkas ini di komputer ini dibuang; versi yang kini ada di server tetap ada.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Cadangan</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Folder</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Disimpan di</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Jadwal</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Cadangan terakhir</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Cadangkan sekarang</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Hentikan</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Pulihkan…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Log…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Verifikasi cadangan</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Secara manual</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>Setiap %d jam</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Setiap hari pukul %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Belum ada cadangan</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>Menunggu giliran</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Menghubungkan…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Mencadangkan: %s diperiksa, %s dikirim</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Menghapus versi lama…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Memulihkan: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Memverifikasi: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Selesai</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Selesai, dengan peringatan</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Gagal</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Dihentikan</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>berikutnya: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Folder disalin ke server Anda sendiri dalam keadaan terenkripsi; versi lama disimpan menurut aturan tiap cadangan.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Cadangan diatur oleh administrator komputer ini.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>Hapus cadangan &quot;%s&quot;?

Hanya tugasnya yang dihapus. Cadangan di server tetap di tempatnya.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Cadangan baru</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Cadangan</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Folder yang dicadangkan</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Tambah folder…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Lewati (pola, dipisahkan dengan ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Simpan cadangan di</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Server lain…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Folder tujuan</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Kata sandi cadangan</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Ulangi</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>Cadangan dienkripsi di komputer ini dengan kata sandi ini. Tanpa kata sandi tidak ada yang bisa membacanya, Anda pun tidak: kata sandi tidak dapat dipulihkan. Catatlah.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: server adalah titik akhir (s3.amazonaws.com, atau https://host:port untuk MinIO dan sejenisnya), folder adalah /bucket/folder, nama pengguna dan kata sandi adalah kunci akses dan kunci rahasia. Opsi: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Kapan</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Setiap beberapa jam</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Setiap hari</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Interval, jam</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>Pukul (jj:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Versi yang disimpan</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>terbaru</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>harian</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>mingguan</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>bulanan</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Kompres</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Tambahkan setidaknya satu folder untuk dicadangkan.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>Kedua kata sandi berbeda.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Tetapkan kata sandi untuk cadangan.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>Server menjawab. Belum ada cadangan di folder ini: proses pertama akan membuatnya.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>Sudah ada cadangan di folder ini dan kata sandinya cocok. Versi: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Pulihkan: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Versi</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s berkas, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Ukuran</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Diubah</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Naik</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Pulihkan yang dipilih…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Pulihkan semua…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Hapus versi</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Hapus versi ini?

Berkas yang tidak ada di versi lain akan hilang selamanya.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Membaca cadangan…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Ke mana berkas harus dipulihkan?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>Ke tempat asalnya
Berkas yang berubah sejak itu akan ditimpa.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>Ke folder lain…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>Pemulihan sudah dimulai. Kemajuannya terlihat di tab Cadangan.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — Log</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>Berkas %s tidak dapat dibaca: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: masukkan bilangan bulat dari %s sampai %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Diperlukan hak administrator. Jalankan perintah ini di terminal:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>Sistem ini tidak menjalankan systemd, sehingga layanan Tarn tidak dapat dipasang atau dimulai dari sini. Jalankan layanan sebagai root dengan &quot;tarn run&quot;.</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>sedang dikaitkan…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s terkait di %s tetapi hanya menyajikan cache-nya: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s masih sedang dikaitkan: servernya lambat menjawab.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Kandar dikelola oleh administrator komputer ini.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Layanan Tarn tidak berjalan: kandar dan cadangan tidak dapat dipakai sampai layanan dimulai.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>layanan tidak berjalan</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Pembaruan datang bersama paket sistem, melalui pembaru perangkat lunak sistem.</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>detik</translation>
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
        <translation>Hanya root yang mengubah bahasa: layanan menyimpannya untuk semua pengguna komputer ini.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>Bahasa disimpan oleh layanan, yang tidak sedang berjalan.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Buang perubahan pada cadangan ini?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Buang</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s disimpan, tetapi login tidak dapat dicoba karena servernya tidak terjangkau: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s sedang terpasang: pengaturan yang diubah berlaku saat dipasang lagi. Pasang ulang sekarang?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Pasang ulang</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Berkas dipulihkan: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Pemeriksaan lulus: %s paket (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Masalah yang ditemukan pemeriksaan: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Versi lama dihapus: %s (%s dibebaskan)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Pemulihan</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Pemeriksaan</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Pembersihan</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Terputus</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s dalam mode luring: perubahannya dikirim ke server begitu kembali daring.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>Cadangan &quot;%s&quot; sudah waktunya dan mulai sekarang; setelah itu berjalan sesuai jadwal.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Lulus</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Peringatan</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Koneksi</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Daftar berkas</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Nama</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Ruang kosong</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Penulisan</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Pembuatan folder</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Atribut</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Baca sebagian</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Tulis di posisi</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Waktu perubahan</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Ganti nama</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Semua berkas (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Huruf besar kecil</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Nama panjang</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Nama dalam aksara apa pun</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Nama Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Kunci host</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Dibatalkan</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Modul akses</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>Server dapat digunakan.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>Server tidak dapat digunakan dengan pengaturan ini.</translation>
    </message>
</context>
</TS>
