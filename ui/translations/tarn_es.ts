<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — unidades: %d</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Abrir Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Montar</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Desmontar</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Abrir carpeta</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Sincronizar ahora</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Salir</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(sin unidades)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Actualización automática</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Buscar actualizaciones</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Instalar la actualización %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Actualización de Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>Ya tiene la versión más reciente.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>La versión %s está disponible. Instálela desde el menú de Tarn.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>La versión %s se ha descargado y se instalará. Las unidades no estarán disponibles durante un minuto.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn se ha actualizado a la versión %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>No se pudieron buscar actualizaciones: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>montada</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>desmontada</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>sin conexión</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>error</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Servicio Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>El servicio Tarn no está instalado o no se está ejecutando. ¿Desea instalarlo ahora? Se necesitan permisos de administrador.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Instalar</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>El controlador del sistema de archivos FUSE no está instalado; sin él no se pueden montar unidades.

Instale el paquete fuse3 con el gestor de paquetes del sistema:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>Controlador FUSE no instalado</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — unidades de red</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Unidades</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Transferencias</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Registro</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Unidad</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Nombre</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>Servidor</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>Estado</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>Caché</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>Pendientes</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Añadir</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Editar</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Quitar</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Montar</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Desmontar</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Comprobar</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Sincronizar</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Trabajar sin conexión</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Trabajar en línea</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Vaciar caché</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Actualizar</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>¿Quitar la unidad «%s»? Se eliminará su caché, incluidos los datos aún no enviados.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Quitar unidad</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>Archivo</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Sentido</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Progreso</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>Estado</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ subida</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ descarga</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>activa</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>en espera</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>reintento %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>completada</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>fallida</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Nueva unidad</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Unidad</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Conexión</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Red</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Caché</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Compatibilidad</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Nombre</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Letra</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Protocolo</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Dirección (enlace)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Puerto</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Ruta remota</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Usuario</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Contraseña</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Mostrar</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>Clave SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Opciones</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Verificar el certificado</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Montar al iniciar</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Solo lectura</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: pegue el enlace completo, p. ej. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — de él se toman el puerto y la ruta, así como el usuario de Nextcloud; solo queda escribir la contraseña (mejor una contraseña de aplicación). Con Nextcloud las subidas se pueden reanudar y se conserva la fecha de modificación; los demás servidores vuelven a recibir el archivo entero con cada cambio.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: cualquier servidor SSH (OpenSSH). Contraseña o clave PEM/OpenSSH; en ese caso la contraseña es la frase de paso de la clave. Escritura en cualquier posición, reanudación en ambos sentidos, cambio de nombre con sustitución.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 sobre TCP. Opciones: uid=1000,gid=1000 - la identidad usada en el servidor; mountport=NNN,nfsport=NNN si hace falta. La ruta remota es la exportación, p. ej. /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Tiempo de espera de conexión, s</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>Tiempo de espera de E/S, s</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Intentos</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Intervalo de keepalive, s</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Espera entre reintentos mín., ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Espera entre reintentos máx., ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Conexiones</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Límite de velocidad, KB/s (0 = sin límite)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Fragmento de subida, MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Fragmentos en paralelo</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Reintentar las subidas hasta que se completen</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Reanudar las transferencias interrumpidas</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Verificar el tamaño tras la subida</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Conexiones malas: aumente los tiempos de espera y los intentos, reduzca el fragmento. Redes rápidas y archivos grandes: más conexiones y fragmentos en paralelo. Las subidas se hacen desde la caché en segundo plano y continúan tras un reinicio.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Carpeta de la caché</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Tamaño de la caché, MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Tamaño de bloque, KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Lectura anticipada, bloques</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Lectura anticipada máx., bloques</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>TTL de los metadatos, s</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Retraso de escritura diferida, s</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Precargar archivos enteros de menos de, MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Modo sin conexión (solo caché, las escrituras esperan en cola)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>No descartar nunca los datos no enviados</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>La caché funciona por bloques: solo se descarga lo que se lee, y una sola vez. Archivos grandes: bloques de 4-16 MB; muchos archivos pequeños: 64-256 KB. Un TTL de metadatos más largo implica menos peticiones al servidor, pero los cambios hechos en otro lugar se ven más tarde.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Normalización Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Nombres que solo difieren en mayúsculas</translation>
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
        <translation>dejar como está</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>rechazar</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>permitir</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Permitir nombres reservados (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Permitir punto / espacio al final</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Establecer la fecha de modificación en el servidor</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Ocultar los archivos que empiezan por punto</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>En los servidores Linux, «a.txt» y «A.txt» son dos archivos, y el administrador de archivos muestra ambos; un servidor que no distingue mayúsculas (un recurso compartido de Windows o macOS) puede conservar solo uno. De forma predeterminada, Tarn no permite crear un par así. Los nombres pueden tener hasta 255 bytes UTF-8 (no caracteres).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Comprobar</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>Aceptar</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Comprobando el servidor...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Comprobación del servidor</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Indique un servidor.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>No se pudo guardar: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Claves (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Cerrar</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Instalando el controlador FUSE (paquete fuse3)… Suele tardar alrededor de un minuto.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>El controlador FUSE está instalado. Tarn está listo.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>No se pudo instalar el controlador FUSE: %s

Instale usted mismo el paquete fuse3 con el gestor de paquetes del sistema, por ejemplo «sudo apt install fuse3».</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Configuración</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Idioma</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Automático — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Actualizaciones</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Instalar las actualizaciones automáticamente</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn busca una versión nueva cada 6 horas. Si esta opción está desactivada, Tarn solo le avisa de la versión nueva; instálela aquí o desde el menú del área de notificación.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Versión instalada: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Última comprobación: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Aún no se han buscado actualizaciones.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Buscando actualizaciones…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(guardada)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Copiar</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Copiar todo</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Detener la subida…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>¿Detener la subida de «%s»?

Se descartarán los cambios de este archivo en este equipo; se conserva la versión que hay ahora en el servidor.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Copia de seguridad</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Carpetas</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Guardada en</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Programación</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Última copia</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Hacer copia ahora</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Detener</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Restaurar…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Registro…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Verificar copia</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Manual</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>Cada %d h</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Cada día a las %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Aún no hay copias</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>Esperando su turno</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Conectando…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Copiando: %s revisados, %s enviados</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Eliminando versiones antiguas…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Restaurando: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Verificando: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Completada</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Completada, con advertencias</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Fallida</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Detenida</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>siguiente: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Las carpetas se copian cifradas en su propio servidor; las versiones antiguas se conservan según las reglas de cada copia de seguridad.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Las copias de seguridad las configura un administrador de este equipo.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>¿Quitar la copia de seguridad «%s»?

Solo se quita la tarea. La copia del servidor se queda donde está.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Nueva copia de seguridad</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Copia de seguridad</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Carpetas que copiar</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Añadir carpeta…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Omitir (máscaras separadas por ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Guardar la copia en</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Otro servidor…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Carpeta de destino</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Contraseña de la copia</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Repetir</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>La copia se cifra en este equipo con esta contraseña. Sin la contraseña nadie puede leerla, ni siquiera usted: no se puede recuperar. Anótela.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: el servidor es el punto de conexión (s3.amazonaws.com, o https://host:port para MinIO y similares), la carpeta es /bucket/folder, el usuario y la contraseña son la clave de acceso y la clave secreta. Opciones: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Cuándo</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Cada pocas horas</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Cada día</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Intervalo, horas</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>A las (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Versiones que conservar</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>últimas</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>diarias</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>semanales</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>mensuales</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Comprimir</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Añada al menos una carpeta que copiar.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>Las dos contraseñas no coinciden.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Establezca una contraseña para la copia.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>El servidor responde. Aún no hay ninguna copia en esta carpeta: la primera ejecución la creará.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>Ya hay una copia en esta carpeta y la contraseña la abre. Versiones: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Restaurar: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Versión</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s archivos, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Tamaño</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Modificado</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Subir</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Restaurar selección…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Restaurar todo…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Eliminar versión</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>¿Eliminar esta versión?

Los archivos que no estén en ninguna otra versión se perderán para siempre.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Leyendo la copia…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>¿Adónde deben ir los archivos?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>A su ubicación original
Se reemplazan los archivos que hayan cambiado desde entonces.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>A otra carpeta…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>La restauración ha comenzado. Su progreso se ve en la pestaña Copia de seguridad.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — Registro</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>No se puede leer el archivo %s: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: escriba un número entero entre %s y %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Se necesitan permisos de administrador. Ejecute este comando en un terminal:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>Este sistema no usa systemd, así que el servicio Tarn no se puede instalar ni iniciar desde aquí. Inícielo como root con «tarn run».</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>montando…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s está montada en %s pero solo sirve su caché: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s aún se está montando: su servidor tarda en responder.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Las unidades las administra un administrador de este equipo.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>El servicio Tarn no se está ejecutando: no se pueden usar las unidades ni las copias de seguridad hasta que se inicie.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>el servicio no se está ejecutando</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Las actualizaciones llegan con los paquetes del sistema, mediante su actualizador de software.</translation>
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
        <translation>Solo root cambia el idioma: el servicio lo guarda para todos los usuarios de este equipo.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>El idioma lo guarda el servicio, que no está en marcha.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>¿Descartar los cambios de esta copia de seguridad?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Descartar</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s está guardado, pero no se pudo probar el inicio de sesión porque no se llega al servidor: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s está montado: los ajustes cambiados se aplican al volver a montarlo. ¿Montarlo de nuevo ahora?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Montar de nuevo</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Archivos restaurados: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Verificación superada: %s paquetes (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Problemas hallados por la verificación: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Versiones antiguas eliminadas: %s (%s liberados)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Restauración</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Verificación</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Limpieza</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Interrumpida</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s está en modo sin conexión: sus cambios van al servidor cuando vuelva a estar en línea.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>La copia de seguridad «%s» toca ahora y empieza ya; después se ejecuta según su horario.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Superado</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Aviso</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Conexión</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Listado</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Nombres</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Espacio libre</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Escritura</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Carpetas</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Atributos</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Lecturas parciales</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Escritura en una posición</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Hora de modificación</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Cambio de nombre</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Todos los archivos (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Mayúsculas y minúsculas</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Nombres largos</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Nombres en cualquier escritura</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Nombres de Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Clave del servidor</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Cancelado</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Módulo de acceso</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>El servidor se puede usar.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>El servidor no se puede usar con estos ajustes.</translation>
    </message>
</context>
</TS>
