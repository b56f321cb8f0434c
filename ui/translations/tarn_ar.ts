<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar_SA">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — عدد المحركات: %d</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>فتح Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>وصل</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>فصل</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>فتح المجلد</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>مزامنة الآن</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>خروج</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(لا توجد محركات)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>التحديث التلقائي</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>التحقق من وجود تحديثات</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>تثبيت التحديث %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>تحديث Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>لديك أحدث إصدار.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>الإصدار %s متاح. ثبّته من قائمة Tarn.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>تم تنزيل الإصدار %s وسيتم تثبيته. ستختفي المحركات لمدة دقيقة تقريبًا.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>تم تحديث Tarn إلى الإصدار %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>تعذّر التحقق من وجود تحديثات: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>موصول</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>مفصول</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>دون اتصال</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>خطأ</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>خدمة Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>خدمة Tarn غير مثبتة أو لا تعمل. هل تريد تثبيتها الآن؟ يلزم الحصول على صلاحيات المسؤول.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>تثبيت</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>برنامج تشغيل نظام الملفات FUSE غير مثبت، ولا يمكن وصل المحركات بدونه.

ثبّت الحزمة fuse3 باستخدام مدير الحزم في النظام:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>برنامج تشغيل FUSE غير مثبت</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — محركات الشبكة</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>المحركات</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>عمليات النقل</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>السجل</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>المحرك</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>الاسم</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>الخادم</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>الحالة</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>الذاكرة المؤقتة</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>قيد الانتظار</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>إضافة</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>تحرير</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>إزالة</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>وصل</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>فصل</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>فحص</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>مزامنة</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>العمل دون اتصال</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>العمل متصلًا</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>مسح الذاكرة المؤقتة</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>تحديث القائمة</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>هل تريد إزالة المحرك «%s»؟ ستُحذف ذاكرته المؤقتة، بما في ذلك البيانات التي لم تُرسل بعد.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>إزالة المحرك</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>الملف</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>الاتجاه</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>التقدم</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>الحالة</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ رفع</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ تنزيل</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>نشط</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>في الانتظار</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>إعادة المحاولة %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>تم</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>فشل</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>محرك جديد</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>المحرك</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>الاتصال</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>الشبكة</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>الذاكرة المؤقتة</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>التوافق</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>الاسم</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>الحرف</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>البروتوكول</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>العنوان (الرابط)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>المنفذ</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>المسار البعيد</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>اسم المستخدم</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>كلمة المرور</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>إظهار</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>مفتاح SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>خيارات</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>التحقق من الشهادة</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>الوصل عند بدء التشغيل</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>للقراءة فقط</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: الصق الرابط كاملًا، مثلًا https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — يُؤخذ منه المنفذ والمسار، وكذلك اسم مستخدم Nextcloud؛ ولا يبقى سوى كتابة كلمة المرور (يُفضَّل استخدام كلمة مرور تطبيق). مع Nextcloud يمكن استئناف الرفع ويُحفظ وقت التعديل؛ أما الخوادم الأخرى فتستقبل الملف كاملًا من جديد عند كل تغيير.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: أي خادم SSH (OpenSSH). كلمة مرور أو مفتاح PEM/OpenSSH؛ وتكون كلمة المرور حينئذٍ عبارة مرور المفتاح. الكتابة في أي موضع، والاستئناف في الاتجاهين، وإعادة التسمية مع الاستبدال.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 عبر TCP. الخيارات: uid=1000,gid=1000 - الهوية المستخدمة على الخادم؛ وmountport=NNN,nfsport=NNN عند الحاجة. المسار البعيد هو المسار المُصدَّر (export)، مثلًا /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>مهلة الاتصال، ث</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>مهلة الإدخال/الإخراج، ث</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>عدد المحاولات</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>فاصل keepalive، ث</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>أدنى تأخير لإعادة المحاولة، مللي ث</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>أقصى تأخير لإعادة المحاولة، مللي ث</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>عدد الاتصالات</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>حد السرعة، كيلوبايت/ث (0 = بلا حد)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>جزء الرفع، ميغابايت</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>الأجزاء المتوازية</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>إعادة محاولة الرفع حتى ينجح</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>استئناف عمليات النقل المتقطعة</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>التحقق من الحجم بعد الرفع</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>الاتصالات الضعيفة: زِد المهلات وعدد المحاولات وصغّر الجزء. الشبكات السريعة والملفات الكبيرة: مزيد من الاتصالات والأجزاء المتوازية. يجري الرفع في الخلفية من الذاكرة المؤقتة ويستمر بعد إعادة التشغيل.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>مجلد الذاكرة المؤقتة</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>حجم الذاكرة المؤقتة، ميغابايت</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>حجم الكتلة، كيلوبايت</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>القراءة المسبقة، كتل</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>أقصى قراءة مسبقة، كتل</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>مدة صلاحية البيانات الوصفية (TTL)، ث</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>تأخير الكتابة المؤجلة، ث</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>جلب الملفات كاملة مسبقًا إذا كانت أصغر من، ميغابايت</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>وضع عدم الاتصال (الذاكرة المؤقتة فقط، وتنتظر عمليات الكتابة في قائمة)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>عدم إخراج البيانات غير المرسلة أبدًا</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>تعمل الذاكرة المؤقتة بالكتل: لا يُنزَّل إلا ما يُقرأ، ومرة واحدة بالضبط. الملفات الكبيرة: كتل من 4-16 ميغابايت؛ الملفات الصغيرة الكثيرة: 64-256 كيلوبايت. كلما طالت مدة صلاحية البيانات الوصفية قلّت الطلبات إلى الخادم، لكن التغييرات التي تُجرى في مكان آخر تظهر متأخرة.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>توحيد Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>تعارض حالة الأحرف</translation>
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
        <translation>الإبقاء كما هو</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>رفض</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>سماح</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>السماح بالأسماء المحجوزة (CON، NUL، ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>السماح بنقطة / مسافة في نهاية الاسم</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>تعيين وقت التعديل على الخادم</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>إخفاء الملفات التي تبدأ بنقطة</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>على خوادم Linux يكون «a.txt» و«A.txt» ملفين مختلفين، ويعرض مدير الملفات كليهما؛ أما الخادم الذي لا يميّز بين الأحرف الكبيرة والصغيرة (مجلد مشترك على Windows أو macOS) فقد يحتفظ بأحدهما فقط. يرفض Tarn افتراضيًا إنشاء زوج كهذا. يمكن أن يصل طول الاسم إلى 255 بايت بترميز UTF-8 (وليس 255 حرفًا).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>فحص</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>موافق</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>إلغاء</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>جارٍ فحص الخادم...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>فحص الخادم</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>أدخل خادمًا.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>تعذّر الحفظ: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>المفاتيح (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>إغلاق</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>جارٍ تثبيت برنامج تشغيل FUSE (الحزمة fuse3)… يستغرق ذلك عادةً نحو دقيقة.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>تم تثبيت برنامج تشغيل FUSE. أصبح Tarn جاهزًا.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>تعذّر تثبيت برنامج تشغيل FUSE: %s

ثبّت الحزمة fuse3 بنفسك باستخدام مدير الحزم في النظام، مثلًا «sudo apt install fuse3».</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>الإعدادات</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>اللغة</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>تلقائي — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>التحديثات</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>تثبيت التحديثات تلقائيًا</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>يتحقق Tarn من وجود إصدار جديد كل 6 ساعات. عند إيقاف هذا الخيار، يكتفي Tarn بإعلامك بالإصدار الجديد؛ ثبّته من هنا أو من قائمة منطقة الإعلامات.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>الإصدار المثبت: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>آخر تحقق: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>لم يتم التحقق من التحديثات بعد.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>جارٍ التحقق من وجود تحديثات…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(محفوظ)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>نسخ</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>نسخ الكل</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>إيقاف الرفع…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>هل تريد إيقاف رفع «%s»؟

ستُهمل التغييرات على هذا الملف في هذا الكمبيوتر، وتبقى النسخة الموجودة الآن على الخادم.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>النسخ الاحتياطي</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>المجلدات</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>محفوظة على</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>الجدول الزمني</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>آخر نسخة</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>نسخ احتياطي الآن</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>إيقاف</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>استعادة…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>السجل…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>التحقق من النسخة</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>يدويًا</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>كل %d ساعة</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>يوميًا في %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>لا توجد نسخة بعد</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>في انتظار دوره</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>جارٍ الاتصال…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>جارٍ النسخ: فُحص %s، وأُرسل %s</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>جارٍ إزالة الإصدارات القديمة…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>جارٍ الاستعادة: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>جارٍ التحقق: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>تم</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>تم، مع تحذيرات</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>فشل</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>متوقف</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>التالي: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>تُنسخ المجلدات مشفّرةً إلى خادمك الخاص، وتُحفظ الإصدارات القديمة وفق قواعد كل نسخة احتياطية.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>يتولى إعداد النسخ الاحتياطي أحد مسؤولي هذا الكمبيوتر.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>هل تريد إزالة النسخة الاحتياطية «%s»؟

تُزال المهمة فقط. تبقى النسخة الموجودة على الخادم في مكانها.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>نسخة احتياطية جديدة</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>النسخة الاحتياطية</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>المجلدات المراد نسخها</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>إضافة مجلد…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>تخطي (أقنعة مفصولة بـ ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>حفظ النسخة على</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>خادم آخر…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>المجلد الهدف</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>كلمة مرور النسخة الاحتياطية</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>تأكيد كلمة المرور</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>تُشفَّر النسخة على هذا الكمبيوتر بكلمة المرور هذه. بدونها لا يستطيع أحد قراءتها، ولا أنت أيضًا: لا يمكن استرداد كلمة المرور. دوّنها.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: الخادم هو نقطة النهاية (s3.amazonaws.com، أو https://host:port لـ MinIO وما شابهه)، والمجلد هو /bucket/folder، واسم المستخدم وكلمة المرور هما مفتاح الوصول والمفتاح السري. الخيارات: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>متى</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>كل بضع ساعات</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>كل يوم</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>الفاصل، ساعات</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>الساعة (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>الإصدارات المحتفظ بها</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>الأحدث</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>اليومية</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>الأسبوعية</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>الشهرية</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>ضغط</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>أضف مجلدًا واحدًا على الأقل لنسخه.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>كلمتا المرور مختلفتان.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>عيّن كلمة مرور للنسخة.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>الخادم يستجيب. لا توجد نسخة في هذا المجلد بعد: سيُنشئها التشغيل الأول.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>توجد نسخة في هذا المجلد بالفعل وكلمة المرور تفتحها. الإصدارات: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>استعادة: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>الإصدار</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (الملفات: %s، %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>الحجم</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>تاريخ التعديل</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>لأعلى</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>استعادة المحدد…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>استعادة الكل…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>حذف الإصدار</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>هل تريد حذف هذا الإصدار؟

ستضيع نهائيًا الملفات غير الموجودة في أي إصدار آخر.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>جارٍ قراءة النسخة…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>أين يجب وضع الملفات؟</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>إلى أماكنها الأصلية
تُستبدل الملفات التي تغيّرت منذ ذلك الحين.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>إلى مجلد آخر…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>بدأت الاستعادة. يظهر تقدمها في علامة التبويب «النسخ الاحتياطي».</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — السجل</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>تتعذر قراءة الملف %s: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: أدخل عددًا صحيحًا من %s إلى %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>يلزم الحصول على صلاحيات المسؤول. شغّل هذا الأمر في الطرفية:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>لا يعمل systemd على هذا النظام، لذا لا يمكن تثبيت خدمة Tarn أو تشغيلها من هنا. شغّلها بصلاحيات root باستخدام «tarn run».</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>جارٍ الوصل…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s موصول على %s لكنه يقدّم ذاكرته المؤقتة فقط: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>ما زال %s قيد الوصل: خادمه بطيء في الرد.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>يتولى إدارة المحركات أحد مسؤولي هذا الكمبيوتر.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>خدمة Tarn لا تعمل: لا يمكن استخدام المحركات والنسخ الاحتياطي حتى تبدأ.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>الخدمة لا تعمل</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>تأتي التحديثات مع حزم النظام، عبر أداة تحديث البرامج فيه.</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>ث</translation>
    </message>
    <message id="tarn-265">
        <source>ms</source>
        <translation>مللي ث</translation>
    </message>
    <message id="tarn-266">
        <source>MB</source>
        <translation>ميغابايت</translation>
    </message>
    <message id="tarn-267">
        <source>KB/s</source>
        <translation>كيلوبايت/ث</translation>
    </message>
    <message id="tarn-268">
        <source>Only root changes the language: the service keeps it for every user of this computer.</source>
        <translation>لا يغيّر اللغة إلا root: تحفظها الخدمة لكل مستخدمي هذا الحاسوب.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>تحفظ الخدمةُ اللغة، وهي لا تعمل.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>هل تريد تجاهل التغييرات على هذا النسخ الاحتياطي؟</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>تجاهل</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>حُفظ %s، لكن تعذّرت تجربة تسجيل الدخول لأن الخادم لا يمكن الوصول إليه: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s موصول: تسري الإعدادات المعدّلة عند وصله من جديد. هل تريد إعادة وصله الآن؟</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>إعادة الوصل</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s، %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>الملفات المستعادة: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>نجح التحقق: الحزم %s (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>مشكلات وجدها التحقق: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>النسخ القديمة المحذوفة: %s (تحرّر %s)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>الاستعادة</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>التحقق</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>التنظيف</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>انقطعت</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s في وضع عدم الاتصال: تذهب تغييراته إلى الخادم حين يعود متصلًا.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>حان موعد النسخ الاحتياطي «%s» ويبدأ الآن؛ ثم يعمل حسب جدوله.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>نجح</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>تحذير</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>الاتصال</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>سرد الملفات</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>الأسماء</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>المساحة الحرة</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>الكتابة</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>المجلدات</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>السمات</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>القراءة الجزئية</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>الكتابة عند موضع</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>وقت التعديل</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>إعادة التسمية</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>كل الملفات (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>حالة الأحرف</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>الأسماء الطويلة</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>أسماء بأي كتابة</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>أسماء Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>مفتاح المضيف</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>أُلغي</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>وحدة الوصول</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>يمكن استخدام الخادم.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>لا يمكن استخدام الخادم بهذه الإعدادات.</translation>
    </message>
</context>
</TS>
