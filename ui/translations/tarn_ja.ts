<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — %d 個のドライブ</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Tarn を開く</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>マウント</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>アンマウント</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>フォルダーを開く</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>今すぐ同期</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>終了</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(ドライブなし)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>自動更新</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>更新を確認</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>更新 %s をインストール</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Tarn の更新</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>最新バージョンを使用しています。</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>バージョン %s が利用可能です。Tarn のメニューからインストールしてください。</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>バージョン %s をダウンロードしました。これからインストールします。ドライブは 1 分ほど使用できなくなります。</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn はバージョン %s に更新されました。</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>更新を確認できませんでした: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>マウント済み</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>未マウント</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>オフライン</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>エラー</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Tarn サービス</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Tarn サービスがインストールされていないか、実行されていません。今すぐインストールしますか? 管理者権限が必要です。</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>インストール</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>FUSE ファイル システム ドライバーがインストールされていません。これがないとドライブをマウントできません。

システムのパッケージ マネージャーで fuse3 パッケージをインストールしてください:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>FUSE ドライバー未インストール</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — ネットワーク ドライブ</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>ドライブ</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>転送</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>ログ</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>ドライブ</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>サーバー</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>状態</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>キャッシュ</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>保留中</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>追加</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>編集</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>削除</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>マウント</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>アンマウント</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>確認</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>同期</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>オフラインにする</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>オンラインにする</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>キャッシュを消去</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>最新の情報に更新</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>ドライブ「%s」を削除しますか? 未送信のデータを含め、キャッシュも削除されます。</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>ドライブの削除</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>ファイル</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>方向</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>進行状況</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>状態</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ アップロード</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ ダウンロード</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>実行中</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>待機中</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>再試行 %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>完了</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>失敗</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>新しいドライブ</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>ドライブ</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>接続</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>ネットワーク</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>キャッシュ</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>互換性</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>ドライブ文字</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>プロトコル</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>アドレス (リンク)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>ポート</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>リモート パス</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>ログイン名</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>パスワード</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>表示</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>SSH 鍵 (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>オプション</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>証明書を検証する</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>起動時にマウントする</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>読み取り専用</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: リンク全体を貼り付けてください。例: https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — ポートとパス、さらに Nextcloud のログイン名もそこから取得されるため、入力するのはパスワードだけです (アプリ パスワードを推奨)。Nextcloud ではアップロードの再開と更新日時の設定ができます。その他のサーバーでは、変更のたびにファイル全体が再送信されます。</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: 任意の SSH サーバー (OpenSSH)。パスワードまたは PEM/OpenSSH 鍵を使います。鍵を使う場合、パスワードは鍵のパスフレーズです。任意の位置への書き込み、双方向の再開、置き換えを伴う名前変更に対応します。</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>TCP 経由の NFS v3。オプション: uid=1000,gid=1000 - サーバー上で使う ID。必要に応じて mountport=NNN,nfsport=NNN。リモート パスはエクスポートです (例: /srv/share)。</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>接続タイムアウト (秒)</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>I/O タイムアウト (秒)</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>試行回数</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>キープアライブ間隔 (秒)</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>再試行の最小間隔 (ミリ秒)</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>再試行の最大間隔 (ミリ秒)</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>接続数</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>速度制限 (KB/s、0 = 制限なし)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>アップロード チャンク (MB)</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>並列チャンク数</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>成功するまでアップロードを再試行する</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>中断した転送を再開する</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>アップロード後にサイズを検証する</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>回線が不安定な場合: タイムアウトと試行回数を増やし、チャンクを小さくします。高速なネットワークと大きなファイルの場合: 接続数と並列チャンク数を増やします。アップロードはバックグラウンドでキャッシュから行われ、再起動後も続行されます。</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>キャッシュ フォルダー</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>キャッシュ サイズ (MB)</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>ブロック サイズ (KB)</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>先読み (ブロック)</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>最大先読み (ブロック)</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>メタデータの TTL (秒)</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>書き戻しの遅延 (秒)</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>このサイズ未満のファイルを丸ごと先読み (MB)</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>オフライン モード (キャッシュのみ、書き込みは待機)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>未送信のデータをキャッシュから削除しない</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>キャッシュはブロック単位です。読み取られた部分だけが、一度だけダウンロードされます。大きなファイル: 4-16 MB のブロック。小さなファイルが多数: 64-256 KB。メタデータの TTL を長くするとサーバーへの要求は減りますが、他の場所での変更が反映されるのが遅くなります。</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Unicode 正規化</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>大文字と小文字の衝突</translation>
    </message>
    <message id="tarn-118">
        <source>NFC (Windows, Linux)</source>
        <translation>NFC (Windows、Linux)</translation>
    </message>
    <message id="tarn-119">
        <source>NFD (macOS)</source>
        <translation>NFD (macOS)</translation>
    </message>
    <message id="tarn-120">
        <source>leave as is</source>
        <translation>そのまま</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>拒否</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>許可</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>予約名を許可する (CON、NUL、...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>末尾のドット / スペースを許可する</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>サーバー上の更新日時を設定する</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>ドットで始まるファイルを隠す</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Linux サーバーでは「a.txt」と「A.txt」は別々のファイルで、ファイル マネージャーには両方が表示されます。大文字と小文字を区別しないサーバー (Windows や macOS の共有) では 1 つしか保持されないことがあります。既定では、Tarn はこのような組み合わせの作成を拒否します。名前は UTF-8 で最大 255 バイト (文字数ではありません) です。</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>確認</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>サーバーを確認しています...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>サーバーの確認</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>サーバーを入力してください。</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>保存できませんでした: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>鍵 (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>閉じる</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>FUSE ドライバー (fuse3 パッケージ) をインストールしています… 通常 1 分ほどかかります。</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>FUSE ドライバーがインストールされました。Tarn を使用する準備ができました。</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>FUSE ドライバーをインストールできませんでした: %s

システムのパッケージ マネージャーで fuse3 パッケージをご自身でインストールしてください (例: 「sudo apt install fuse3」)。</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>設定</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>言語</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>自動 — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>更新</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>更新を自動的にインストールする</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn は 6 時間ごとに新しいバージョンを確認します。この設定がオフの場合、Tarn は新しいバージョンを通知するだけです。ここまたはトレイのメニューからインストールしてください。</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>インストール済みのバージョン: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>前回の確認: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>まだ更新を確認していません。</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>更新を確認しています…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(保存済み)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>コピー</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>すべてコピー</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>アップロードを停止…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>「%s」のアップロードを停止しますか?

このコンピューター上でのこのファイルへの変更は破棄されます。現在サーバー上にあるファイルはそのまま残ります。</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>バックアップ</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>フォルダー</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>保存先</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>スケジュール</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>前回のバックアップ</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>今すぐバックアップ</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>復元…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>ログ…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>バックアップを検証</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>手動</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>%d 時間ごと</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>毎日 %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>バックアップはまだありません</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>順番を待っています</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>接続しています…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>バックアップ中: %s を確認、%s を送信</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>古いバージョンを削除しています…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>復元中: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>検証中: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>完了</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>完了 (警告あり)</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>失敗</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>停止しました</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>次回: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>フォルダーは暗号化されてご自身のサーバーにコピーされます。古いバージョンは各バックアップのルールに従って保持されます。</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>バックアップはこのコンピューターの管理者が設定します。</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>バックアップ「%s」を削除しますか?

削除されるのはジョブだけです。サーバー上のバックアップはそのまま残ります。</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>新しいバックアップ</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>バックアップ</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>バックアップするフォルダー</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>フォルダーを追加…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>除外 (マスク、; 区切り)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>バックアップの保存先</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>別のサーバー…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>保存先のフォルダー</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>バックアップのパスワード</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>パスワードの確認</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>バックアップはこのコンピューター上でこのパスワードを使って暗号化されます。パスワードがなければ誰も読み取れず、ご自身も読み取れません。パスワードは復旧できないため、書き留めておいてください。</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: サーバーはエンドポイントです (s3.amazonaws.com、MinIO などの場合は https://host:port)。フォルダーは /bucket/folder、ログイン名とパスワードはアクセス キーとシークレット キーです。オプション: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>実行タイミング</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>数時間ごと</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>毎日</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>間隔 (時間)</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>時刻 (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>保持するバージョン</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>最新</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>日次</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>週次</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>月次</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>圧縮する</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>バックアップするフォルダーを 1 つ以上追加してください。</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>2 つのパスワードが一致しません。</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>バックアップのパスワードを設定してください。</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>サーバーは応答しています。このフォルダーにはまだバックアップがありません。最初の実行時に作成されます。</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>このフォルダーには既にバックアップがあり、このパスワードで開けます。バージョン数: %d。</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>復元: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>バージョン</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s 個のファイル、%s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>サイズ</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>更新日時</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>上へ</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>選択項目を復元…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>すべて復元…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>バージョンを削除</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>このバージョンを削除しますか?

ほかのどのバージョンにも含まれていないファイルは完全に失われます。</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>バックアップを読み込んでいます…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>ファイルをどこに復元しますか?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>元の場所へ
それ以降に変更されたファイルは置き換えられます。</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>別のフォルダーへ…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>復元を開始しました。進行状況は [バックアップ] タブで確認できます。</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — ログ</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>ファイル %s を読み取れません: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: %s から %s までの整数を入力してください。</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>管理者権限が必要です。ターミナルで次のコマンドを実行してください:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>このシステムでは systemd が動作していないため、ここから Tarn サービスをインストールまたは起動することはできません。root として「tarn run」で起動してください。</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>マウント中…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s は %s にマウントされていますが、キャッシュしか提供できません: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s はまだマウント中です。サーバーの応答が遅れています。</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>ドライブはこのコンピューターの管理者が管理します。</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Tarn サービスが実行されていません。起動するまでドライブとバックアップは使用できません。</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>サービスが実行されていません</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>更新はシステムのパッケージとして、システムのソフトウェア更新から提供されます。</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>秒</translation>
    </message>
    <message id="tarn-265">
        <source>ms</source>
        <translation>ミリ秒</translation>
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
        <translation>言語を変更できるのは root だけです。サービスがこのコンピューターのすべてのユーザーのために保持します。</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>言語はサービスが保持しますが、サービスが動いていません。</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>このバックアップへの変更を破棄しますか?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>破棄</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s を保存しましたが、サーバーに接続できないためログインを試せませんでした: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s はマウント中です。変更した設定は次にマウントしたときに有効になります。今すぐマウントし直しますか?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>マウントし直す</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s、%s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>復元したファイル: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>検証に合格: パック %s 個 (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>検証で見つかった問題: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>削除した古いバージョン: %s (%s を解放)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>復元</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>検証</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>後片付け</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>中断</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s はオフライン モードです。変更はオンラインに戻ったときにサーバーへ送られます。</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>バックアップ「%s」は実行時期のため今から始まります。その後はスケジュールどおりに実行されます。</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>合格</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>接続</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>一覧</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>名前</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>空き容量</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>書き込み</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>フォルダー</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>属性</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>部分読み取り</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>位置を指定した書き込み</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>更新日時</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>名前の変更</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>大文字と小文字</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>長い名前</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>あらゆる文字の名前</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Windows の名前</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>ホスト鍵</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>取り消し</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>アクセス モジュール</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>このサーバーは使用できます。</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>この設定ではサーバーを使用できません。</translation>
    </message>
</context>
</TS>
