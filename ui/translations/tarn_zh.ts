<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — %d 个驱动器</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>打开 Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>挂载</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>卸载</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>打开文件夹</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>立即同步</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>（无驱动器）</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>自动更新</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>检查更新</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>安装更新 %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Tarn 更新</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>您使用的已是最新版本。</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>版本 %s 已可用。请从 Tarn 菜单安装。</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>版本 %s 已下载，即将安装。驱动器将暂时消失约一分钟。</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn 已更新到版本 %s。</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>无法检查更新：%s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>已挂载</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>未挂载</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>离线</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>错误</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Tarn 服务</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Tarn 服务未安装或未运行。现在安装吗？需要管理员权限。</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>安装</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>未安装 FUSE 文件系统驱动；没有它就无法挂载驱动器。

请使用系统的软件包管理器安装 fuse3 软件包：
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>未安装 FUSE 驱动</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — 网络驱动器</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>驱动器</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>传输</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>驱动器</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>服务器</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>状态</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>缓存</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>待上传</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>编辑</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>移除</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>挂载</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>卸载</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>检查</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>同步</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>离线工作</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>在线工作</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>清除缓存</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>要移除驱动器“%s”吗？其缓存（包括尚未上传的数据）将被删除。</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>移除驱动器</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>方向</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>状态</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ 上传</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ 下载</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>进行中</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>等待中</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>第 %d 次重试</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>完成</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>失败</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>新建驱动器</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>驱动器</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>连接</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>网络</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>缓存</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>兼容性</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>盘符</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>协议</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>地址（链接）</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>远程路径</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>用户名</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>显示</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>SSH 密钥（PEM）</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>验证证书</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>启动时挂载</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>只读</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV：粘贴完整链接，例如 https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — 端口和路径会从中获取，Nextcloud 用户名也一样；只需再输入密码（最好使用应用密码）。Nextcloud 支持断点续传并保留修改时间；其他服务器在每次更改后都会重新接收整个文件。</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP：任何 SSH 服务器（OpenSSH）。使用密码或 PEM/OpenSSH 密钥；使用密钥时，密码即为密钥的口令。支持任意位置写入、双向续传、带替换的重命名。</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>基于 TCP 的 NFS v3。选项：uid=1000,gid=1000 - 在服务器上使用的身份；必要时加上 mountport=NNN,nfsport=NNN。远程路径即导出路径，例如 /srv/share。</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>连接超时，秒</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>I/O 超时，秒</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>尝试次数</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>保活间隔，秒</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>最短重试间隔，毫秒</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>最长重试间隔，毫秒</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>连接数</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>速度限制，KB/s（0 = 不限）</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>上传分块，MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>并行分块数</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>上传失败时一直重试直至成功</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>恢复中断的传输</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>上传后校验大小</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>网络较差：增大超时和尝试次数，减小分块。网络快、文件大：增加连接数和并行分块数。上传在后台从缓存进行，重启后仍会继续。</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>缓存文件夹</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>缓存大小，MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>块大小，KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>预读，块</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>最大预读，块</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>元数据 TTL，秒</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>延迟写回，秒</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>整体预取小于此大小的文件，MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>离线模式（仅使用缓存，写入排队等待）</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>从不清除未上传的数据</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>缓存以块为单位：只下载读取到的内容，且只下载一次。大文件：4-16 MB 的块；大量小文件：64-256 KB。元数据 TTL 越长，对服务器的请求越少，但在别处所做的更改会更晚显示出来。</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Unicode 规范化</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>大小写冲突</translation>
    </message>
    <message id="tarn-118">
        <source>NFC (Windows, Linux)</source>
        <translation>NFC（Windows、Linux）</translation>
    </message>
    <message id="tarn-119">
        <source>NFD (macOS)</source>
        <translation>NFD（macOS）</translation>
    </message>
    <message id="tarn-120">
        <source>leave as is</source>
        <translation>保持原样</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>拒绝</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>允许</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>允许保留名称（CON、NUL、...）</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>允许末尾的点 / 空格</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>在服务器上设置修改时间</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>隐藏以点开头的文件</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>在 Linux 服务器上，“a.txt”和“A.txt”是两个文件，文件管理器会同时显示；不区分大小写的服务器（Windows 或 macOS 共享）可能只保留其中一个。Tarn 默认拒绝创建这样的一对文件。名称最长为 255 个 UTF-8 字节（不是字符）。</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>检查</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>正在检查服务器...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>服务器检查</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>请输入服务器。</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>无法保存：%s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>密钥 (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>正在安装 FUSE 驱动（fuse3 软件包）… 通常需要约一分钟。</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>FUSE 驱动已安装。Tarn 已就绪。</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>无法安装 FUSE 驱动：%s

请自行使用系统的软件包管理器安装 fuse3 软件包，例如“sudo apt install fuse3”。</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>自动 — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>更新</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>自动安装更新</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn 每 6 小时检查一次新版本。关闭此项时，Tarn 只会告知有新版本；您可以在此处或从托盘菜单安装。</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>已安装版本 %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>上次检查：%s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>尚未检查过更新。</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>正在检查更新…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>（已保存）</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>全部复制</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>停止上传…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>要停止上传“%s”吗？

此文件在本计算机上的更改将被丢弃；服务器上现有的版本保持不变。</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>备份</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>文件夹</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>存放位置</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>计划</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>上次备份</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>立即备份</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>恢复…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>日志…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>验证备份</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>手动</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>每 %d 小时</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>每天 %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>尚无备份</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>排队等待中</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>正在连接…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>正在备份：已检查 %s，已发送 %s</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>正在删除旧版本…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>正在恢复：%s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>正在验证：%s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>完成</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>完成，但有警告</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>已停止</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>下次：%s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>文件夹经加密后复制到您自己的服务器；旧版本按各个备份的规则保留。</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>备份由本计算机的管理员设置。</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>要移除备份“%s”吗？

只移除该任务。服务器上的备份保持原样。</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>新建备份</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>备份</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>要备份的文件夹</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>添加文件夹…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>跳过（掩码，以 ; 分隔）</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>备份存放于</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>其他服务器…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>目标文件夹</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>备份密码</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>再次输入</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>备份在本计算机上用此密码加密。没有密码，任何人都无法读取备份，您自己也不行：密码无法找回。请把它记下来。</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3：服务器为终端节点（s3.amazonaws.com，MinIO 等则为 https://host:port），文件夹为 /bucket/folder，用户名和密码分别为访问密钥和秘密密钥。选项：region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>时间</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>每隔几小时</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>每天</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>间隔，小时</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>时间（hh:mm）</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>保留的版本数</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>最新</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>每日</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>每周</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>每月</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>压缩</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>请至少添加一个要备份的文件夹。</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>两次输入的密码不一致。</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>请为备份设置密码。</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>服务器有响应。此文件夹中还没有备份：首次运行时将创建。</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>此文件夹中已有备份，且密码可以打开它。版本数：%d。</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>恢复：%s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  （%s 个文件，%s）</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>修改时间</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>向上</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>恢复所选项…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>全部恢复…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>删除版本</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>要删除此版本吗？

不在任何其他版本中的文件将永久丢失。</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>正在读取备份…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>要将文件恢复到哪里？</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>恢复到原位置
此后更改过的文件将被替换。</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>恢复到其他文件夹…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>已开始恢复。可在“备份”选项卡上查看进度。</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — 日志</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>无法读取文件 %s：%s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s：请输入 %s 到 %s 之间的整数。</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>需要管理员权限。请在终端中运行以下命令：
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>此系统未运行 systemd，因此无法从这里安装或启动 Tarn 服务。请以 root 身份使用“tarn run”启动它。</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>正在挂载…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s 已挂载到 %s，但只能提供其缓存：%s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s 仍在挂载：其服务器响应缓慢。</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>驱动器由本计算机的管理员管理。</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Tarn 服务未运行：在它启动之前无法使用驱动器和备份。</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>服务未运行</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>更新随系统的软件包一起提供，通过系统的软件更新程序安装。</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>秒</translation>
    </message>
    <message id="tarn-265">
        <source>ms</source>
        <translation>毫秒</translation>
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
        <translation>只有 root 能更改语言：服务为这台计算机的所有用户保存它。</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>语言由服务保存，而服务没有运行。</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>放弃对此备份的更改吗？</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>放弃</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s 已保存，但无法连接到服务器，未能试登录：%s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s 已挂载：更改的设置在再次挂载时生效。现在重新挂载吗？</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>重新挂载</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s，%s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>已恢复文件：%s（%s）</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>检查通过：%s 个数据包（%s）</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>检查发现的问题：%s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>已删除旧版本：%s（释放 %s）</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s：%s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>恢复</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>检查</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>清理</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>已中断</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s 处于离线模式：重新联机后，它的更改才会发送到服务器。</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>备份“%s”已到时间，现在开始；之后按计划运行。</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>通过</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>连接</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>列目录</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>名称</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>可用空间</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>写入</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>文件夹</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>属性</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>部分读取</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>按偏移写入</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>修改时间</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>重命名</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>字母大小写</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>长名称</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>任意文字的名称</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Windows 名称</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>主机密钥</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>已取消</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>访问模块</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>该服务器可以使用。</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>使用这些设置无法使用该服务器。</translation>
    </message>
</context>
</TS>
