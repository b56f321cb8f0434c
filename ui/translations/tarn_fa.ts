<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fa_IR">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — %d درایو</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>باز کردن Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>سوار کردن</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>پیاده کردن</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>باز کردن پوشه</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>همگام‌سازی فوری</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>خروج</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(بدون درایو)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>به‌روزرسانی خودکار</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>بررسی به‌روزرسانی‌ها</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>نصب به‌روزرسانی %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>به‌روزرسانی Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>آخرین نسخه را دارید.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>نسخهٔ %s در دسترس است. آن را از منوی Tarn نصب کنید.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>نسخهٔ %s بارگیری شد و نصب خواهد شد. درایوها حدود یک دقیقه در دسترس نخواهند بود.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn به نسخهٔ %s به‌روز شد.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>بررسی به‌روزرسانی‌ها ممکن نشد: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>سوارشده</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>پیاده‌شده</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>آفلاین</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>خطا</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>سرویس Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>سرویس Tarn نصب نشده یا در حال اجرا نیست. اکنون نصب شود؟ دسترسی مدیر سیستم لازم است.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>نصب</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>درایور سیستم فایل FUSE نصب نشده است؛ بدون آن نمی‌توان درایوها را سوار کرد.

بستهٔ fuse3 را با مدیر بستهٔ سیستم نصب کنید:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>درایور FUSE نصب نشده است</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — درایوهای شبکه</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>درایوها</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>انتقال‌ها</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>گزارش</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>درایو</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>نام</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>سرور</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>وضعیت</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>حافظهٔ نهان</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>در انتظار</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>افزودن</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>ویرایش</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>حذف</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>سوار کردن</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>پیاده کردن</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>بررسی</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>همگام‌سازی</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>کار آفلاین</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>کار آنلاین</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>پاک کردن حافظهٔ نهان</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>تازه‌سازی</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>درایو «%s» حذف شود؟ حافظهٔ نهان آن، از جمله داده‌های ارسال‌نشده، پاک خواهد شد.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>حذف درایو</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>فایل</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>جهت</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>پیشرفت</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>وضعیت</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ بارگذاری</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ بارگیری</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>فعال</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>در انتظار</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>تلاش دوباره %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>انجام شد</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>ناموفق</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>درایو جدید</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>درایو</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>اتصال</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>شبکه</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>حافظهٔ نهان</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>سازگاری</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>نام</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>حرف</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>پروتکل</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>نشانی (پیوند)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>درگاه</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>مسیر راه دور</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>نام کاربری</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>گذرواژه</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>نمایش</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>کلید SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>گزینه‌ها</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>تأیید گواهی</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>سوار کردن هنگام شروع</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>فقط‌خواندنی</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: کل پیوند را جای‌گذاری کنید، برای نمونه https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — درگاه و مسیر از آن گرفته می‌شوند و نام کاربری Nextcloud هم همین‌طور؛ فقط نوشتن گذرواژه می‌ماند (گذرواژهٔ برنامه بهتر است). با Nextcloud بارگذاری‌ها از سر گرفته می‌شوند و زمان تغییر حفظ می‌شود؛ سرورهای دیگر با هر تغییر کل فایل را دوباره دریافت می‌کنند.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: هر سرور SSH (OpenSSH). گذرواژه یا کلید PEM/OpenSSH؛ در این صورت گذرواژه همان عبارت عبور کلید است. نوشتن در هر موقعیت، ازسرگیری در هر دو جهت، تغییر نام با جایگزینی.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 روی TCP. گزینه‌ها: uid=1000,gid=1000 - هویتی که روی سرور به کار می‌رود؛ در صورت نیاز mountport=NNN,nfsport=NNN. مسیر راه دور همان مسیر صادرشده (export) است، برای نمونه /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>مهلت اتصال، ثانیه</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>مهلت ورودی/خروجی، ثانیه</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>تعداد تلاش‌ها</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>فاصلهٔ keepalive، ثانیه</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>کمترین فاصلهٔ تلاش دوباره، میلی‌ثانیه</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>بیشترین فاصلهٔ تلاش دوباره، میلی‌ثانیه</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>تعداد اتصال‌ها</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>محدودیت سرعت، کیلوبایت/ثانیه (0 = بدون محدودیت)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>تکهٔ بارگذاری، مگابایت</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>تکه‌های موازی</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>تلاش دوباره برای بارگذاری تا موفقیت</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>ازسرگیری انتقال‌های قطع‌شده</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>بررسی اندازه پس از بارگذاری</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>اتصال‌های ضعیف: مهلت‌ها و تعداد تلاش‌ها را بیشتر و تکه را کوچک‌تر کنید. شبکه‌های سریع و فایل‌های بزرگ: اتصال‌ها و تکه‌های موازی بیشتر. بارگذاری‌ها در پس‌زمینه از حافظهٔ نهان انجام می‌شوند و پس از راه‌اندازی دوباره هم ادامه می‌یابند.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>پوشهٔ حافظهٔ نهان</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>اندازهٔ حافظهٔ نهان، مگابایت</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>اندازهٔ بلوک، کیلوبایت</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>پیش‌خوانی، بلوک</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>بیشترین پیش‌خوانی، بلوک</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>TTL فراداده، ثانیه</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>تأخیر بازنویسی، ثانیه</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>پیش‌واکشی کامل فایل‌های کوچک‌تر از، مگابایت</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>حالت آفلاین (فقط حافظهٔ نهان، نوشتن‌ها در صف می‌مانند)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>هرگز داده‌های ارسال‌نشده را از حافظهٔ نهان بیرون نکن</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>حافظهٔ نهان بلوکی است: فقط آنچه خوانده می‌شود بارگیری می‌شود، آن هم دقیقاً یک بار. فایل‌های بزرگ: بلوک‌های 4-16 مگابایتی؛ فایل‌های کوچک فراوان: 64-256 کیلوبایت. TTL طولانی‌تر برای فراداده یعنی درخواست کمتر به سرور، اما تغییراتی که جای دیگر انجام شده‌اند دیرتر دیده می‌شوند.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>یکسان‌سازی Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>تداخل حروف کوچک و بزرگ</translation>
    </message>
    <message id="tarn-118">
        <source>NFC (Windows, Linux)</source>
        <translation>NFC (Windows، Linux)</translation>
    </message>
    <message id="tarn-119">
        <source>NFD (macOS)</source>
        <translation>NFD (macOS)</translation>
    </message>
    <message id="tarn-120">
        <source>leave as is</source>
        <translation>بدون تغییر</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>رد کردن</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>اجازه دادن</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>اجازهٔ نام‌های رزروشده (CON، NUL، ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>اجازهٔ نقطه / فاصله در پایان نام</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>تنظیم زمان تغییر روی سرور</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>پنهان کردن فایل‌هایی که با نقطه شروع می‌شوند</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>در سرورهای Linux، «a.txt» و «A.txt» دو فایل جدا هستند و مدیر فایل هر دو را نشان می‌دهد؛ سروری که بزرگی و کوچکی حروف را یکی می‌داند (پوشهٔ اشتراکی Windows یا macOS) ممکن است فقط یکی را نگه دارد. Tarn به‌طور پیش‌فرض از ساختن چنین جفتی خودداری می‌کند. نام‌ها می‌توانند تا 255 بایت UTF-8 باشند (نه نویسه).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>بررسی</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>تأیید</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>لغو</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>در حال بررسی سرور...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>بررسی سرور</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>یک سرور وارد کنید.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>ذخیره ممکن نشد: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>کلیدها (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>بستن</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>در حال نصب درایور FUSE (بستهٔ fuse3)… این کار معمولاً حدود یک دقیقه طول می‌کشد.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>درایور FUSE نصب شد. Tarn آماده است.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>نصب درایور FUSE ممکن نشد: %s

بستهٔ fuse3 را خودتان با مدیر بستهٔ سیستم نصب کنید، برای نمونه «sudo apt install fuse3».</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>تنظیمات</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>زبان</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>خودکار — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>به‌روزرسانی‌ها</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>نصب خودکار به‌روزرسانی‌ها</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn هر 6 ساعت یک بار نسخهٔ جدید را بررسی می‌کند. وقتی این گزینه خاموش است، Tarn فقط شما را از نسخهٔ جدید آگاه می‌کند؛ آن را از اینجا یا از منوی سینی سیستم نصب کنید.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>نسخهٔ نصب‌شده: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>آخرین بررسی: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>هنوز به‌روزرسانی‌ها بررسی نشده‌اند.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>در حال بررسی به‌روزرسانی‌ها…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(ذخیره‌شده)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>کپی</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>کپی همه</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>توقف بارگذاری…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>بارگذاری «%s» متوقف شود؟

تغییرات این فایل روی این رایانه دور ریخته می‌شود؛ نسخه‌ای که اکنون روی سرور است باقی می‌ماند.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>پشتیبان‌گیری</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>پوشه‌ها</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>محل نگهداری</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>زمان‌بندی</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>آخرین پشتیبان</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>پشتیبان‌گیری فوری</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>توقف</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>بازیابی…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>گزارش…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>بررسی پشتیبان</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>دستی</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>هر %d ساعت</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>هر روز ساعت %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>هنوز پشتیبانی وجود ندارد</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>در انتظار نوبت</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>در حال اتصال…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>در حال پشتیبان‌گیری: %s بررسی شد، %s ارسال شد</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>در حال حذف نسخه‌های قدیمی…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>در حال بازیابی: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>در حال بررسی: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>انجام شد</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>انجام شد، با هشدار</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>ناموفق</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>متوقف شد</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>بعدی: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>پوشه‌ها به‌صورت رمزگذاری‌شده روی سرور خودتان کپی می‌شوند؛ نسخه‌های قدیمی طبق قواعد هر پشتیبان نگه داشته می‌شوند.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>پشتیبان‌گیری را یکی از مدیران این رایانه تنظیم می‌کند.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>پشتیبان «%s» حذف شود؟

فقط کار حذف می‌شود. پشتیبان روی سرور همان‌جا که هست می‌ماند.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>پشتیبان جدید</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>پشتیبان</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>پوشه‌هایی که کپی می‌شوند</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>افزودن پوشه…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>نادیده گرفتن (الگوها، جداشده با ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>نگهداری پشتیبان روی</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>سرور دیگر…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>پوشهٔ مقصد</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>گذرواژهٔ پشتیبان</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>تکرار گذرواژه</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>پشتیبان روی این رایانه با این گذرواژه رمزگذاری می‌شود. بدون گذرواژه هیچ‌کس نمی‌تواند آن را بخواند، حتی خود شما: گذرواژه قابل بازیابی نیست. آن را یادداشت کنید.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: سرور همان نقطهٔ پایانی است (s3.amazonaws.com، یا https://host:port برای MinIO و مانند آن)، پوشه /bucket/folder است، و نام کاربری و گذرواژه همان کلید دسترسی و کلید محرمانه‌اند. گزینه‌ها: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>زمان اجرا</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>هر چند ساعت</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>هر روز</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>فاصله، ساعت</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>ساعت (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>نسخه‌هایی که نگه داشته می‌شوند</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>آخرین</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>روزانه</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>هفتگی</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>ماهانه</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>فشرده‌سازی</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>دست‌کم یک پوشه برای کپی اضافه کنید.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>دو گذرواژه یکسان نیستند.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>برای پشتیبان گذرواژه تعیین کنید.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>سرور پاسخ می‌دهد. هنوز پشتیبانی در این پوشه نیست: نخستین اجرا آن را می‌سازد.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>در این پوشه از قبل پشتیبانی هست و گذرواژه آن را باز می‌کند. نسخه‌ها: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>بازیابی: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>نسخه</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s فایل، %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>اندازه</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>تاریخ تغییر</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>بالا</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>بازیابی مورد انتخاب‌شده…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>بازیابی همه…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>حذف نسخه</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>این نسخه حذف شود؟

فایل‌هایی که در هیچ نسخهٔ دیگری نیستند برای همیشه از دست می‌روند.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>در حال خواندن پشتیبان…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>فایل‌ها به کجا بروند؟</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>به جای قبلی خود
فایل‌هایی که از آن زمان تغییر کرده‌اند جایگزین می‌شوند.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>به پوشه‌ای دیگر…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>بازیابی آغاز شد. پیشرفت آن در زبانهٔ «پشتیبان‌گیری» دیده می‌شود.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — گزارش</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>فایل %s خوانده نمی‌شود: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: یک عدد صحیح از %s تا %s وارد کنید.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>دسترسی مدیر سیستم لازم است. این فرمان را در پایانه اجرا کنید:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>این سیستم systemd را اجرا نمی‌کند، پس سرویس Tarn را نمی‌توان از اینجا نصب یا اجرا کرد. آن را به‌عنوان root با «tarn run» اجرا کنید.</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>در حال سوار کردن…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s در %s سوار شده اما فقط حافظهٔ نهانش را ارائه می‌دهد: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s هنوز در حال سوار شدن است: سرورش کند پاسخ می‌دهد.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>درایوها را یکی از مدیران این رایانه مدیریت می‌کند.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>سرویس Tarn اجرا نمی‌شود: تا زمانی که آغاز نشود، درایوها و پشتیبان‌گیری در دسترس نیستند.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>سرویس اجرا نمی‌شود</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>به‌روزرسانی‌ها همراه بسته‌های سیستم و از راه به‌روزرسان نرم‌افزار آن می‌رسند.</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>ثانیه</translation>
    </message>
    <message id="tarn-265">
        <source>ms</source>
        <translation>میلی‌ثانیه</translation>
    </message>
    <message id="tarn-266">
        <source>MB</source>
        <translation>مگابایت</translation>
    </message>
    <message id="tarn-267">
        <source>KB/s</source>
        <translation>کیلوبایت/ثانیه</translation>
    </message>
    <message id="tarn-268">
        <source>Only root changes the language: the service keeps it for every user of this computer.</source>
        <translation>فقط root زبان را تغییر می‌دهد: سرویس آن را برای همهٔ کاربران این رایانه نگه می‌دارد.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>زبان را سرویس نگه می‌دارد که در حال اجرا نیست.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>تغییرهای این پشتیبان‌گیری دور ریخته شود؟</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>دور ریختن</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s ذخیره شد، ولی ورود آزموده نشد، چون سرور در دسترس نیست: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s وصل است: تنظیمات تغییریافته با وصل دوباره اعمال می‌شوند. اکنون دوباره وصل شود؟</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>وصل دوباره</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s، %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>پرونده‌های بازیابی‌شده: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>بررسی موفق بود: %s بسته (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>مشکل‌هایی که بررسی یافت: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>نسخه‌های قدیمی حذف‌شده: %s (%s آزاد شد)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>بازیابی</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>بررسی</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>پاک‌سازی</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>قطع شد</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s در حالت آفلاین است: تغییرهایش وقتی دوباره آنلاین شود به سرور می‌رود.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>زمان پشتیبان‌گیری «%s» رسیده و اکنون آغاز می‌شود؛ پس از آن طبق برنامه‌اش اجرا می‌شود.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>موفق</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>هشدار</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>اتصال</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>فهرست پرونده‌ها</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>نام‌ها</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>فضای آزاد</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>نوشتن</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>پوشه‌ها</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>ویژگی‌ها</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>خواندن بخشی</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>نوشتن در یک جایگاه</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>زمان تغییر</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>تغییر نام</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>همهٔ فایل‌ها (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>بزرگی و کوچکی حروف</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>نام‌های بلند</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>نام به هر خطی</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>نام‌های Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>کلید میزبان</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>لغو شد</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>ماژول دسترسی</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>از سرور می‌توان استفاده کرد.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>با این تنظیمات نمی‌توان از سرور استفاده کرد.</translation>
    </message>
</context>
</TS>
