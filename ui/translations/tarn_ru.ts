<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — дисков: %d</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Открыть Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Подключить</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Отключить</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Открыть папку</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Синхронизировать</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(нет дисков)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Автообновление</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Проверить обновления</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Установить обновление %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Обновление Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>Установлена последняя версия.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>Доступна версия %s. Установите её из меню Tarn.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>Версия %s загружена и будет установлена. Диски будут недоступны около минуты.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn обновлён до версии %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Не удалось проверить обновления: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>подключён</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>отключён</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>автономно</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>ошибка</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Служба Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Служба Tarn не установлена или не запущена. Установить её сейчас? Требуются права администратора.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Установить</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>Драйвер файловой системы FUSE не установлен; без него диски не могут быть подключены.

Установите пакет fuse3 с помощью менеджера пакетов системы:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>Драйвер FUSE не установлен</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — сетевые диски</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Диски</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Передачи</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Журнал</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Диск</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>Сервер</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>Состояние</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>Кэш</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>В очереди</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Добавить</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Изменить</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Удалить</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Подключить</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Отключить</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Проверить</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Синхронизировать</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Работать автономно</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Работать в сети</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Очистить кэш</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Обновить</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>Удалить диск «%s»? Его кэш, включая неотправленные данные, будет удалён.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Удаление диска</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>Файл</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Направление</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Прогресс</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>Состояние</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ отправка</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ загрузка</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>выполняется</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>ожидает</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>повтор %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>готово</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>ошибка</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Новый диск</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Диск</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Подключение</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Сеть</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Кэш</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Совместимость</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Буква</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Протокол</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Адрес (ссылка)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Порт</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Удалённый путь</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Логин</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Пароль</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Показать</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>Ключ SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Параметры</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Проверять сертификат</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Подключать при запуске</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Только чтение</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: вставьте ссылку целиком, например https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — из неё будут взяты порт и путь, а также логин Nextcloud; останется ввести только пароль (лучше пароль приложения). С Nextcloud отправка файлов возобновляется после обрыва и сохраняется время изменения; другие серверы при любом изменении получают весь файл заново.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: любой SSH-сервер (OpenSSH). Пароль или ключ PEM/OpenSSH; в этом случае пароль — это парольная фраза ключа. Запись с любого места, докачка в обе стороны, переименование с заменой.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 поверх TCP. Параметры: uid=1000,gid=1000 - учётная запись, используемая на сервере; mountport=NNN,nfsport=NNN при необходимости. Удалённый путь — это экспорт, например /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Тайм-аут подключения, с</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>Тайм-аут ввода-вывода, с</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Число попыток</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Интервал keepalive, с</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Пауза перед повтором, мин., мс</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Пауза перед повтором, макс., мс</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Число соединений</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Ограничение скорости, КБ/с (0 = нет)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Размер части при отправке, МБ</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Частей одновременно</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Повторять отправку до успеха</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Возобновлять прерванные передачи</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Проверять размер после отправки</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Плохая связь: увеличьте тайм-ауты и число попыток, уменьшите размер части. Быстрая сеть и большие файлы: больше соединений и одновременно отправляемых частей. Отправка идёт из кэша в фоне и продолжается после перезапуска.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Папка кэша</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Размер кэша, МБ</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Размер блока, КБ</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Упреждающее чтение, блоков</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Упреждающее чтение, макс. блоков</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>TTL метаданных, с</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Задержка отложенной записи, с</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Загружать целиком файлы меньше, МБ</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Автономный режим (только кэш, записи ставятся в очередь)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Никогда не вытеснять неотправленные данные</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>Кэш работает блоками: скачивается только то, что читается, и ровно один раз. Большие файлы: блоки по 4-16 МБ; много мелких файлов: 64-256 КБ. Чем больше TTL метаданных, тем меньше запросов к серверу, но тем позже видны изменения, сделанные в другом месте.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Нормализация Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Имена, различающиеся только регистром</translation>
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
        <translation>оставлять как есть</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>запрещать</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>разрешать</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Разрешить зарезервированные имена (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Разрешить точку / пробел в конце имени</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Устанавливать время изменения на сервере</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Скрывать файлы, начинающиеся с точки</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>На серверах Linux «a.txt» и «A.txt» — это два файла, и файловый менеджер показывает оба; сервер, не различающий регистр (общая папка Windows или macOS), может сохранить только один. По умолчанию Tarn не позволяет создать такую пару. Имя может занимать до 255 байт в UTF-8 (не символов).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Проверить</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Проверка сервера...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Проверка сервера</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Укажите сервер.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Не удалось сохранить: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Ключи (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Установка драйвера FUSE (пакет fuse3)… Обычно это занимает около минуты.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>Драйвер FUSE установлен. Tarn готов к работе.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>Не удалось установить драйвер FUSE: %s

Установите пакет fuse3 самостоятельно с помощью менеджера пакетов системы, например «sudo apt install fuse3».</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Язык</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Автоматически — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Обновления</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Устанавливать обновления автоматически</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn проверяет наличие новой версии каждые 6 часов. Если этот параметр выключен, Tarn только сообщает о новой версии; установить её можно здесь или из меню в области уведомлений.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Установленная версия: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Последняя проверка: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Обновления ещё не проверялись.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Проверка обновлений…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(сохранён)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Копировать</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Копировать всё</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Остановить отправку…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>Остановить отправку «%s»?

Изменения этого файла на этом компьютере будут отброшены; версия, которая сейчас на сервере, останется.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Резервные копии</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Папки</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Где хранится</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Расписание</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Последняя копия</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Создать копию сейчас</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Остановить</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Восстановить…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Журнал…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Проверить копию</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Вручную</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>Каждые %d ч</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Ежедневно в %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Копий ещё нет</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>Ожидает своей очереди</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Подключение…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Копирование: просмотрено %s, отправлено %s</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Удаление старых версий…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Восстановление: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Проверка: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Готово</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Готово, с предупреждениями</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Ошибка</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Остановлено</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>следующий запуск: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Папки копируются на Ваш собственный сервер в зашифрованном виде; старые версии хранятся по правилам каждой резервной копии.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Резервное копирование настраивает администратор этого компьютера.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>Удалить резервную копию «%s»?

Удаляется только задание. Копия на сервере остаётся на месте.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Новая резервная копия</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Резервная копия</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Папки для копирования</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Добавить папку…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Пропускать (маски через ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Хранить копию на</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Другой сервер…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Папка назначения</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Пароль резервной копии</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Ещё раз</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>Копия шифруется на этом компьютере этим паролем. Без пароля никто не сможет её прочитать, в том числе и Вы: восстановить пароль невозможно. Запишите его.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: сервер — это конечная точка (s3.amazonaws.com или https://host:port для MinIO и подобных), папка — /bucket/folder, логин и пароль — ключ доступа и секретный ключ. Параметры: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Когда</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Каждые несколько часов</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Ежедневно</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Интервал, ч</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>В (чч:мм)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Хранить версий</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>последних</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>ежедневных</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>еженедельных</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>ежемесячных</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Сжимать</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Добавьте хотя бы одну папку для копирования.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>Пароли не совпадают.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Задайте пароль для копии.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>Сервер отвечает. В этой папке пока нет копии: она будет создана при первом запуске.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>В этой папке уже есть копия, и пароль к ней подходит. Версий: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Восстановление: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Версия</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (файлов: %s, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Размер</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Изменён</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Вверх</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Восстановить выбранное…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Восстановить всё…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Удалить версию</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Удалить эту версию?

Файлы, которых нет ни в одной другой версии, будут потеряны навсегда.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Чтение копии…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Куда поместить файлы?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>На прежнее место
Файлы, изменённые с тех пор, будут заменены.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>В другую папку…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>Восстановление началось. Ход выполнения виден на вкладке «Резервные копии».</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — журнал</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>Не удаётся прочитать файл %s: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: введите целое число от %s до %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Нужны права администратора. Выполните в терминале команду:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>В этой системе не работает systemd, поэтому службу Tarn нельзя установить или запустить отсюда. Запустите её от имени root командой «tarn run».</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>подключается…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s подключён в %s, но работает только из кэша: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s ещё подключается: сервер отвечает медленно.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Дисками управляет администратор этого компьютера.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Служба Tarn не запущена: диски и резервное копирование недоступны, пока она не запустится.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>служба не запущена</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Обновления приходят вместе с пакетами системы, через её средство обновления.</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>с</translation>
    </message>
    <message id="tarn-265">
        <source>ms</source>
        <translation>мс</translation>
    </message>
    <message id="tarn-266">
        <source>MB</source>
        <translation>МБ</translation>
    </message>
    <message id="tarn-267">
        <source>KB/s</source>
        <translation>КБ/с</translation>
    </message>
    <message id="tarn-268">
        <source>Only root changes the language: the service keeps it for every user of this computer.</source>
        <translation>Язык меняет только root: служба хранит его для всех пользователей этого компьютера.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>Язык хранит служба, а она не запущена.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Отменить изменения этой резервной копии?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Отменить</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s сохранён, но вход проверить не удалось: сервер недоступен: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s подключён: изменённые настройки вступят в силу при следующем подключении. Подключить заново сейчас?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Подключить заново</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Восстановлено файлов: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Проверка пройдена: пакетов %s (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Проверка нашла проблем: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Удалено старых версий: %s (освобождено %s)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Восстановление</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Проверка</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Очистка</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Прервано</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s в автономном режиме: изменения уйдут на сервер, когда он снова будет в сети.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>Резервное копирование «%s» пора выполнить, и оно начинается сейчас; потом оно идёт по расписанию.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Пройдено</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Внимание</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Подключение</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Список файлов</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Имена</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Свободное место</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Запись</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Папки</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Атрибуты</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Частичное чтение</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Запись со смещением</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Время изменения</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Переименование</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Все файлы (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Регистр букв</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Длинные имена</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Имена на любом письме</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Имена Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Ключ хоста</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Отменено</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Модуль доступа</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>Сервер можно использовать.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>С этими настройками сервер использовать нельзя.</translation>
    </message>
</context>
</TS>
