<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="vi_VN">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — %d ổ đĩa</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Mở Tarn</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>Gắn kết</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>Bỏ gắn kết</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>Mở thư mục</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Đồng bộ ngay</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Thoát</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(không có ổ đĩa)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Tự động cập nhật</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Kiểm tra cập nhật</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Cài đặt bản cập nhật %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Cập nhật Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>Bạn đang dùng phiên bản mới nhất.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>Đã có phiên bản %s. Hãy cài đặt từ menu Tarn.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>Phiên bản %s đã được tải xuống và sẽ được cài đặt. Các ổ đĩa sẽ tạm biến mất trong khoảng một phút.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn đã được cập nhật lên phiên bản %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Không thể kiểm tra cập nhật: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>đã gắn kết</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>chưa gắn kết</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>ngoại tuyến</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>lỗi</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Dịch vụ Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Dịch vụ Tarn chưa được cài đặt hoặc không chạy. Cài đặt ngay bây giờ? Cần có quyền quản trị.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Cài đặt</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>Trình điều khiển hệ thống tệp FUSE chưa được cài đặt; không có nó thì không thể gắn kết ổ đĩa.

Hãy cài đặt gói fuse3 bằng trình quản lý gói của hệ thống:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>Chưa cài đặt trình điều khiển FUSE</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — ổ đĩa mạng</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Ổ đĩa</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Truyền tải</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Nhật ký</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Ổ đĩa</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Tên</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>Máy chủ</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>Trạng thái</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>Bộ đệm</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>Đang chờ</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Thêm</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Sửa</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Xóa</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>Gắn kết</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>Bỏ gắn kết</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>Kiểm tra</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Đồng bộ</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Làm việc ngoại tuyến</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Làm việc trực tuyến</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Xóa bộ đệm</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Làm mới</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>Xóa ổ đĩa &quot;%s&quot;? Bộ đệm của ổ, kể cả dữ liệu chưa gửi, sẽ bị xóa.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Xóa ổ đĩa</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>Tệp</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Chiều</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Tiến độ</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>Trạng thái</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ tải lên</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ tải xuống</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>đang chạy</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>đang chờ</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>thử lại lần %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>xong</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>thất bại</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Ổ đĩa mới</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Ổ đĩa</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Kết nối</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Mạng</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Bộ đệm</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Tương thích</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Tên</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>Ký tự ổ</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>Giao thức</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>Địa chỉ (liên kết)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Cổng</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Đường dẫn từ xa</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Tên đăng nhập</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Mật khẩu</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Hiện</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>Khóa SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Tùy chọn</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Xác minh chứng chỉ</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Gắn kết khi khởi động</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Chỉ đọc</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: dán toàn bộ liên kết, ví dụ https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — cổng và đường dẫn được lấy từ đó, tên đăng nhập Nextcloud cũng vậy; chỉ còn phải nhập mật khẩu (tốt hơn là mật khẩu ứng dụng). Với Nextcloud, việc tải lên có thể tiếp tục sau khi gián đoạn và giữ được thời gian sửa đổi; các máy chủ khác nhận lại toàn bộ tệp sau mỗi thay đổi.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: mọi máy chủ SSH (OpenSSH). Mật khẩu hoặc khóa PEM/OpenSSH; khi đó mật khẩu là cụm mật khẩu của khóa. Ghi tại vị trí bất kỳ, tiếp tục theo cả hai chiều, đổi tên có thay thế.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 qua TCP. Tùy chọn: uid=1000,gid=1000 - danh tính dùng trên máy chủ; mountport=NNN,nfsport=NNN khi cần. Đường dẫn từ xa là thư mục được xuất (export), ví dụ /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Thời gian chờ kết nối, giây</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>Thời gian chờ vào/ra, giây</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Số lần thử</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Chu kỳ keepalive, giây</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Độ trễ thử lại tối thiểu, ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Độ trễ thử lại tối đa, ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Số kết nối</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Giới hạn tốc độ, KB/s (0 = không giới hạn)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Phần tải lên, MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Số phần song song</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Thử tải lên lại cho đến khi thành công</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Tiếp tục các lần truyền bị gián đoạn</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Kiểm tra kích thước sau khi tải lên</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Đường truyền kém: tăng thời gian chờ và số lần thử, giảm kích thước phần. Mạng nhanh và tệp lớn: thêm kết nối và phần song song. Việc tải lên chạy nền từ bộ đệm và vẫn tiếp tục sau khi khởi động lại.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Thư mục bộ đệm</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Dung lượng bộ đệm, MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Kích thước khối, KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Đọc trước, khối</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Đọc trước tối đa, khối</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>TTL siêu dữ liệu, giây</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Độ trễ ghi, giây</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Tải trước toàn bộ tệp nhỏ hơn, MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Chế độ ngoại tuyến (chỉ dùng bộ đệm, thao tác ghi xếp hàng chờ)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Không bao giờ loại bỏ dữ liệu chưa gửi</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>Bộ đệm làm việc theo khối: chỉ phần được đọc mới được tải xuống, và chỉ đúng một lần. Tệp lớn: khối 4-16 MB; nhiều tệp nhỏ: 64-256 KB. TTL siêu dữ liệu dài hơn nghĩa là ít yêu cầu tới máy chủ hơn, nhưng thay đổi từ nơi khác sẽ hiện ra muộn hơn.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Chuẩn hóa Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Tên chỉ khác nhau ở chữ hoa/thường</translation>
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
        <translation>giữ nguyên</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>từ chối</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>cho phép</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Cho phép tên dành riêng (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Cho phép dấu chấm / khoảng trắng ở cuối</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Đặt thời gian sửa đổi trên máy chủ</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Ẩn tệp bắt đầu bằng dấu chấm</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Trên máy chủ Linux, &quot;a.txt&quot; và &quot;A.txt&quot; là hai tệp, và trình quản lý tệp hiện cả hai; máy chủ không phân biệt chữ hoa chữ thường (thư mục chia sẻ Windows hoặc macOS) có thể chỉ giữ một. Theo mặc định, Tarn từ chối tạo cặp như vậy. Tên có thể dài tới 255 byte UTF-8 (không phải ký tự).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Kiểm tra</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>Đồng ý</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Hủy</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Đang kiểm tra máy chủ...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Kiểm tra máy chủ</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Hãy nhập máy chủ.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Không thể lưu: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Khóa (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Đóng</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Đang cài đặt trình điều khiển FUSE (gói fuse3)… Việc này thường mất khoảng một phút.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>Trình điều khiển FUSE đã được cài đặt. Tarn đã sẵn sàng.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>Không thể cài đặt trình điều khiển FUSE: %s

Hãy tự cài đặt gói fuse3 bằng trình quản lý gói của hệ thống, ví dụ &quot;sudo apt install fuse3&quot;.</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Thiết lập</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>Ngôn ngữ</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>Tự động — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>Cập nhật</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Tự động cài đặt bản cập nhật</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn kiểm tra phiên bản mới sau mỗi 6 giờ. Khi tắt tùy chọn này, Tarn chỉ báo cho bạn biết có phiên bản mới; hãy cài đặt tại đây hoặc từ menu ở khay hệ thống.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Phiên bản đã cài: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Lần kiểm tra cuối: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>Chưa kiểm tra cập nhật lần nào.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Đang kiểm tra cập nhật…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(đã lưu)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Sao chép</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Sao chép tất cả</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Dừng tải lên…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>Dừng tải lên &quot;%s&quot;?

Các thay đổi của tệp này trên máy tính này sẽ bị bỏ; bản hiện có trên máy chủ vẫn được giữ.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Sao lưu</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Thư mục</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Lưu tại</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Lịch</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Bản sao lưu gần nhất</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Sao lưu ngay</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Dừng</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>Khôi phục…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>Nhật ký…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>Kiểm tra bản sao lưu</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Thủ công</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>Mỗi %d giờ</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Hằng ngày lúc %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Chưa có bản sao lưu</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>Đang chờ đến lượt</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Đang kết nối…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Đang sao lưu: đã duyệt %s, đã gửi %s</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Đang xóa các phiên bản cũ…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>Đang khôi phục: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>Đang kiểm tra: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>Xong</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Xong, có cảnh báo</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Thất bại</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Đã dừng</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>lần tới: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>Các thư mục được sao chép lên máy chủ của riêng bạn ở dạng mã hóa; các phiên bản cũ được giữ theo quy tắc của từng bản sao lưu.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Việc sao lưu do quản trị viên của máy tính này thiết lập.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>Xóa bản sao lưu &quot;%s&quot;?

Chỉ tác vụ bị xóa. Bản sao lưu trên máy chủ vẫn ở nguyên chỗ cũ.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Bản sao lưu mới</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Sao lưu</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Thư mục cần sao lưu</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Thêm thư mục…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Bỏ qua (mẫu, phân tách bằng ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Lưu bản sao lưu trên</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Máy chủ khác…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Thư mục đích</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Mật khẩu sao lưu</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Nhập lại</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>Bản sao lưu được mã hóa trên máy tính này bằng mật khẩu này. Không có mật khẩu thì không ai đọc được, kể cả bạn: mật khẩu không thể khôi phục. Hãy ghi lại.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: máy chủ là điểm cuối (s3.amazonaws.com, hoặc https://host:port cho MinIO và tương tự), thư mục là /bucket/folder, tên đăng nhập và mật khẩu là khóa truy cập và khóa bí mật. Tùy chọn: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Khi nào</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>Vài giờ một lần</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Hằng ngày</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Khoảng cách, giờ</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>Lúc (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Số phiên bản giữ lại</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>mới nhất</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>hằng ngày</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>hằng tuần</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>hằng tháng</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Nén</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Hãy thêm ít nhất một thư mục cần sao lưu.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>Hai mật khẩu không khớp.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Hãy đặt mật khẩu cho bản sao lưu.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>Máy chủ có phản hồi. Thư mục này chưa có bản sao lưu: lần chạy đầu tiên sẽ tạo nó.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>Thư mục này đã có bản sao lưu và mật khẩu mở được nó. Số phiên bản: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Khôi phục: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Phiên bản</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s tệp, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Kích thước</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Ngày sửa đổi</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Lên</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Khôi phục mục đã chọn…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Khôi phục tất cả…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Xóa phiên bản</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Xóa phiên bản này?

Các tệp không có trong phiên bản nào khác sẽ mất vĩnh viễn.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Đang đọc bản sao lưu…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Đặt các tệp vào đâu?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>Về vị trí cũ
Các tệp đã thay đổi kể từ đó sẽ bị thay thế.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>Vào thư mục khác…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>Việc khôi phục đã bắt đầu. Tiến độ hiển thị trên thẻ Sao lưu.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — Nhật ký</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>Không thể đọc tệp %s: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: hãy nhập một số nguyên từ %s đến %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>Cần có quyền quản trị. Hãy chạy lệnh này trong cửa sổ dòng lệnh:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>Hệ thống này không chạy systemd, nên không thể cài đặt hay khởi động dịch vụ Tarn từ đây. Hãy khởi động dịch vụ với quyền root bằng lệnh &quot;tarn run&quot;.</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>đang gắn kết…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s đã gắn kết tại %s nhưng chỉ phục vụ bộ đệm của nó: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s vẫn đang được gắn kết: máy chủ của nó phản hồi chậm.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>Ổ đĩa do quản trị viên của máy tính này quản lý.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Dịch vụ Tarn không chạy: không thể dùng ổ đĩa và sao lưu cho đến khi nó khởi động.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>dịch vụ không chạy</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>Bản cập nhật đến cùng các gói của hệ thống, qua trình cập nhật phần mềm của hệ thống.</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>giây</translation>
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
        <translation>Chỉ root mới đổi được ngôn ngữ: dịch vụ lưu nó cho mọi người dùng của máy tính này.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>Ngôn ngữ do dịch vụ lưu giữ, mà dịch vụ đang không chạy.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Bỏ các thay đổi của bản sao lưu này?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Bỏ</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>Đã lưu %s, nhưng chưa thử đăng nhập được vì không kết nối được máy chủ: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s đang được gắn: thiết lập đã đổi có hiệu lực khi gắn lại. Gắn lại ngay bây giờ?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Gắn lại</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Tệp đã khôi phục: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Kiểm tra đạt: %s gói (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Sự cố kiểm tra tìm thấy: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Phiên bản cũ đã xoá: %s (giải phóng %s)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Khôi phục</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Kiểm tra</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Dọn dẹp</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Bị gián đoạn</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s đang ở chế độ ngoại tuyến: các thay đổi sẽ lên máy chủ khi nó trực tuyến trở lại.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>Bản sao lưu &quot;%s&quot; đã đến hạn và bắt đầu ngay; sau đó chạy theo lịch.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Đạt</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Cảnh báo</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Kết nối</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Liệt kê</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Tên</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Dung lượng trống</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Ghi</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Thư mục</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Thuộc tính</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Đọc từng phần</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Ghi tại vị trí</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Thời gian sửa đổi</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Đổi tên</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Tất cả các tệp (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Chữ hoa và thường</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Tên dài</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Tên bằng mọi chữ viết</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Tên Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Khóa máy chủ</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Đã huỷ</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Mô-đun truy cập</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>Có thể dùng máy chủ này.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>Không thể dùng máy chủ với thiết lập này.</translation>
    </message>
</context>
</TS>
