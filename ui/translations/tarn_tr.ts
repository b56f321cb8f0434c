<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="tr_TR">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — %d sürücü</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Tarn&apos;ı aç</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Bağla</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Ayır</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Klasörü aç</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Şimdi eşitle</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Çıkış</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(sürücü yok)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Otomatik güncelleme</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Güncellemeleri denetle</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>%s güncellemesini yükle</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Tarn güncellemesi</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>En son sürümü kullanıyorsunuz.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>%s sürümü kullanılabilir. Tarn menüsünden yükleyin.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>%s sürümü indirildi ve yüklenecek. Sürücüler yaklaşık bir dakika kullanılamayacak.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn %s sürümüne güncellendi.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Güncellemeler denetlenemedi: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>bağlı</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>bağlı değil</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>çevrimdışı</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>hata</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Tarn hizmeti</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Tarn hizmeti yüklü değil ya da çalışmıyor. Şimdi yüklensin mi? Yönetici hakları gereklidir.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Yükle</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>FUSE dosya sistemi sürücüsü yüklü değil; o olmadan sürücüler bağlanamaz.

Sistemin paket yöneticisiyle fuse3 paketini yükleyin:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>FUSE sürücüsü yüklü değil</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — ağ sürücüleri</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Sürücüler</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Aktarımlar</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Günlük</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Sürücü</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Ad</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>Sunucu</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>Durum</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>Önbellek</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>Bekleyen</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Ekle</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Düzenle</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Kaldır</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Bağla</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Ayır</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Denetle</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Eşitle</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Çevrimdışı çalış</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Çevrimiçi çalış</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Önbelleği temizle</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Yenile</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>&quot;%s&quot; sürücüsü kaldırılsın mı? Gönderilmemiş veriler dahil önbelleği silinecek.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Sürücüyü kaldır</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>Dosya</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Yön</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>İlerleme</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>Durum</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ gönderme</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ indirme</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>etkin</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>bekliyor</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>yeniden deneme %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>tamamlandı</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>başarısız</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Yeni sürücü</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Sürücü</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Bağlantı</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Ağ</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Önbellek</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Uyumluluk</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Ad</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Harf</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Protokol</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Adres (bağlantı)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Bağlantı noktası</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Uzak yol</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Kullanıcı adı</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Parola</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Göster</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>SSH anahtarı (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Seçenekler</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Sertifikayı doğrula</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Başlangıçta bağla</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Salt okunur</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: bağlantının tamamını yapıştırın, örneğin https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — bağlantı noktası ve yol buradan alınır, Nextcloud kullanıcı adı da öyle; yalnızca parolayı yazmak kalır (bir uygulama parolası daha iyidir). Nextcloud&apos;da gönderimler kaldığı yerden sürer ve değişiklik zamanı korunur; diğer sunucular her değişiklikte dosyanın tamamını yeniden alır.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: herhangi bir SSH sunucusu (OpenSSH). Parola ya da PEM/OpenSSH anahtarı; bu durumda parola, anahtarın parolasıdır. Herhangi bir konuma yazma, iki yönde sürdürme, üzerine yazarak yeniden adlandırma.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>TCP üzerinden NFS v3. Seçenekler: uid=1000,gid=1000 - sunucuda kullanılan kimlik; gerekirse mountport=NNN,nfsport=NNN. Uzak yol dışa aktarımın kendisidir, örneğin /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Bağlantı zaman aşımı, sn</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>G/Ç zaman aşımı, sn</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Deneme sayısı</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Keepalive aralığı, sn</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Yeniden deneme beklemesi en az, ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Yeniden deneme beklemesi en çok, ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Bağlantı sayısı</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Hız sınırı, KB/sn (0 = yok)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Gönderme parçası, MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Paralel parçalar</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Gönderimleri başarılı olana dek yinele</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Yarıda kalan aktarımları sürdür</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Gönderimden sonra boyutu doğrula</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Kötü bağlantılar: zaman aşımlarını ve deneme sayısını artırın, parçayı küçültün. Hızlı ağlar ve büyük dosyalar: daha çok bağlantı ve paralel parça. Gönderimler arka planda önbellekten yapılır ve yeniden başlatmalardan sonra da sürer.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Önbellek klasörü</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Önbellek boyutu, MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Blok boyutu, KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Önden okuma, blok</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Önden okuma en çok, blok</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>Meta veri TTL, sn</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Geri yazma gecikmesi, sn</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Şundan küçük dosyaları tümüyle önceden al, MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Çevrimdışı kip (yalnızca önbellek, yazmalar sıraya girer)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Gönderilmemiş verileri asla önbellekten çıkarma</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>Önbellek blok tabanlıdır: yalnızca okunan kısım indirilir, tam bir kez. Büyük dosyalar: 4-16 MB bloklar; çok sayıda küçük dosya: 64-256 KB. Daha uzun bir meta veri TTL&apos;si daha az sunucu isteği demektir, ancak başka yerde yapılan değişiklikler daha geç görünür.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Unicode normalleştirme</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Büyük/küçük harf çakışması</translation>
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
        <translation>olduğu gibi bırak</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>reddet</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>izin ver</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Ayrılmış adlara izin ver (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Sonda nokta / boşluğa izin ver</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Değişiklik zamanını sunucuda ayarla</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Nokta ile başlayan dosyaları gizle</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Linux sunucularında &quot;a.txt&quot; ve &quot;A.txt&quot; iki ayrı dosyadır ve dosya yöneticisi ikisini de gösterir; büyük/küçük harf ayırmayan bir sunucu (Windows veya macOS paylaşımı) yalnızca birini tutabilir. Tarn varsayılan olarak böyle bir çift oluşturmayı reddeder. Adlar en çok 255 UTF-8 bayt olabilir (karakter değil).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Denetle</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>Tamam</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>İptal</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Sunucu denetleniyor...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Sunucu denetimi</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Bir sunucu girin.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Kaydedilemedi: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Anahtarlar (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Kapat</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>FUSE sürücüsü (fuse3 paketi) yükleniyor… Bu genellikle yaklaşık bir dakika sürer.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>FUSE sürücüsü yüklendi. Tarn hazır.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>FUSE sürücüsü yüklenemedi: %s

Sistemin paket yöneticisiyle fuse3 paketini kendiniz yükleyin, örneğin &quot;sudo apt install fuse3&quot;.</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Ayarlar</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Dil</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Otomatik — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Güncellemeler</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Güncellemeleri otomatik olarak yükle</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn her 6 saatte bir yeni sürüm olup olmadığını denetler. Bu kapalıyken Tarn yalnızca yeni sürümü bildirir; onu buradan ya da bildirim alanındaki menüden yükleyin.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Yüklü sürüm: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Son denetim: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Güncellemeler henüz denetlenmedi.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Güncellemeler denetleniyor…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(kayıtlı)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Kopyala</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Tümünü kopyala</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Göndermeyi durdur…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>&quot;%s&quot; gönderimi durdurulsun mu?

Bu dosyada bu bilgisayarda yapılan değişiklikler atılır; şu anda sunucuda olan sürüm kalır.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Yedekleme</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Klasörler</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Saklandığı yer</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Zamanlama</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Son yedek</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Şimdi yedekle</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Durdur</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Geri yükle…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Günlük…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Yedeği doğrula</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Elle</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>%d saatte bir</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Her gün saat %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Henüz yedek yok</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>Sırasını bekliyor</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Bağlanıyor…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Yedekleniyor: %s tarandı, %s gönderildi</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Eski sürümler kaldırılıyor…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Geri yükleniyor: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Doğrulanıyor: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Tamamlandı</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Tamamlandı, uyarılarla</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Başarısız</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Durduruldu</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>sonraki: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Klasörler şifrelenerek kendi sunucunuza kopyalanır; eski sürümler her yedeklemenin kurallarına göre saklanır.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Yedeklemeler bu bilgisayarın bir yöneticisi tarafından ayarlanır.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>&quot;%s&quot; yedeklemesi kaldırılsın mı?

Yalnızca görev kaldırılır. Sunucudaki yedek olduğu yerde kalır.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Yeni yedekleme</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Yedekleme</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Kopyalanacak klasörler</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Klasör ekle…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Atla (maskeler, ; ile ayrılmış)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Yedeğin saklanacağı yer</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Başka bir sunucu…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Hedef klasör</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Yedekleme parolası</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Tekrar</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>Yedek bu bilgisayarda bu parolayla şifrelenir. Parola olmadan kimse onu okuyamaz, siz de okuyamazsınız: parola kurtarılamaz. Bir yere yazın.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: sunucu uç noktadır (s3.amazonaws.com ya da MinIO ve benzerleri için https://host:port), klasör /bucket/folder biçimindedir, kullanıcı adı ve parola erişim anahtarı ile gizli anahtardır. Seçenekler: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Ne zaman</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Birkaç saatte bir</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Her gün</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Aralık, saat</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>Saat (ss:dd)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Saklanacak sürümler</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>en son</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>günlük</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>haftalık</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>aylık</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Sıkıştır</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Kopyalanacak en az bir klasör ekleyin.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>İki parola birbirinden farklı.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Yedek için bir parola belirleyin.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>Sunucu yanıt veriyor. Bu klasörde henüz yedek yok: ilk çalıştırma onu oluşturur.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>Bu klasörde zaten bir yedek var ve parola onu açıyor. Sürümler: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Geri yükle: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Sürüm</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s dosya, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Boyut</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Değiştirilme</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Yukarı</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Seçileni geri yükle…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Tümünü geri yükle…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Sürümü sil</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Bu sürüm silinsin mi?

Başka hiçbir sürümde olmayan dosyalar kalıcı olarak kaybolur.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Yedek okunuyor…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Dosyalar nereye gitsin?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>Eski yerlerine
O zamandan beri değişmiş dosyaların üzerine yazılır.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>Başka bir klasöre…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>Geri yükleme başladı. İlerlemesini Yedekleme sekmesinde görebilirsiniz.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — Günlük</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>%s dosyası okunamıyor: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: %s ile %s arasında bir tam sayı girin.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Yönetici hakları gerekiyor. Bu komutu bir uçbirimde çalıştırın:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>Bu sistemde systemd çalışmıyor, bu yüzden Tarn hizmeti buradan yüklenemez ya da başlatılamaz. Hizmeti root olarak &quot;tarn run&quot; komutuyla başlatın.</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>bağlanıyor…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s, %s konumuna bağlı ama yalnızca önbelleğini sunuyor: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s hâlâ bağlanıyor: sunucusu yavaş yanıt veriyor.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Sürücüler bu bilgisayarın bir yöneticisi tarafından yönetilir.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Tarn hizmeti çalışmıyor: hizmet başlayana kadar sürücüler ve yedeklemeler kullanılamaz.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>hizmet çalışmıyor</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Güncellemeler sistemin paketleriyle, yazılım güncelleyicisi üzerinden gelir.</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>sn</translation>
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
        <translation>KB/sn</translation>
    </message>
    <message id="tarn-268">
        <source>Only root changes the language: the service keeps it for every user of this computer.</source>
        <translation>Dili yalnızca root değiştirir: hizmet onu bu bilgisayarın tüm kullanıcıları için saklar.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>Dili hizmet saklar ve hizmet çalışmıyor.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Bu yedeklemedeki değişiklikler atılsın mı?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>At</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s kaydedildi, ancak sunucusuna ulaşılamadığı için oturum açma denenemedi: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s bağlı: değiştirilen ayarlar yeniden bağlandığında geçerli olur. Şimdi yeniden bağlansın mı?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Yeniden bağla</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Geri yüklenen dosya: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Denetim geçti: %s paket (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Denetimin bulduğu sorunlar: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Kaldırılan eski sürüm: %s (%s boşaldı)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Geri yükleme</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Denetim</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Temizlik</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Yarıda kaldı</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s çevrimdışı kipte: değişiklikleri yeniden çevrimiçi olunca sunucuya gider.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>&quot;%s&quot; yedeklemesinin zamanı geldi ve şimdi başlıyor; sonra zamanlamasına göre çalışır.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Geçti</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Uyarı</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Bağlantı</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Listeleme</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Adlar</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Boş alan</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Yazma</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Klasörler</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Öznitelikler</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Kısmi okuma</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Konuma yazma</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Değişiklik zamanı</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Yeniden adlandırma</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Tüm dosyalar (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Harf büyüklüğü</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Uzun adlar</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Her yazıda adlar</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Windows adları</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Sunucu anahtarı</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>İptal edildi</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Erişim modülü</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>Sunucu kullanılabilir.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>Sunucu bu ayarlarla kullanılamaz.</translation>
    </message>
</context>
</TS>
