<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>Tarn</name>
    <message id="tarn-0">
        <source>Tarn</source>
        <translation>Tarn</translation>
    </message>
    <message id="tarn-1">
        <source>Tarn — %d drives</source>
        <translation>Tarn — 드라이브 %d개</translation>
    </message>
    <message id="tarn-2">
        <source>Open Tarn</source>
        <translation>Tarn 열기</translation>
    </message>
    <message id="tarn-3">
        <source>Mount</source>
        <translation>마운트</translation>
    </message>
    <message id="tarn-4">
        <source>Unmount</source>
        <translation>마운트 해제</translation>
    </message>
    <message id="tarn-5">
        <source>Open folder</source>
        <translation>폴더 열기</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>지금 동기화</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>종료</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(드라이브 없음)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>자동 업데이트</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>업데이트 확인</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>업데이트 %s 설치</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Tarn 업데이트</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>최신 버전을 사용하고 있습니다.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>버전 %s을(를) 사용할 수 있습니다. Tarn 메뉴에서 설치하십시오.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>버전 %s을(를) 다운로드했으며 곧 설치합니다. 약 1분 동안 드라이브를 사용할 수 없습니다.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>Tarn이 버전 %s(으)로 업데이트되었습니다.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>업데이트를 확인할 수 없습니다: %s</translation>
    </message>
    <message id="tarn-18">
        <source>mounted</source>
        <translation>마운트됨</translation>
    </message>
    <message id="tarn-19">
        <source>unmounted</source>
        <translation>마운트 안 됨</translation>
    </message>
    <message id="tarn-20">
        <source>offline</source>
        <translation>오프라인</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>오류</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Tarn 서비스</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>Tarn 서비스가 설치되지 않았거나 실행 중이 아닙니다. 지금 설치하시겠습니까? 관리자 권한이 필요합니다.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>설치</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>FUSE 파일 시스템 드라이버가 설치되어 있지 않습니다. 이 드라이버가 없으면 드라이브를 마운트할 수 없습니다.

시스템의 패키지 관리자로 fuse3 패키지를 설치하십시오:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>FUSE 드라이버 미설치</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — 네트워크 드라이브</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>드라이브</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>전송</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>로그</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>드라이브</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>이름</translation>
    </message>
    <message id="tarn-34">
        <source>Server</source>
        <translation>서버</translation>
    </message>
    <message id="tarn-35">
        <source>State</source>
        <translation>상태</translation>
    </message>
    <message id="tarn-36">
        <source>Cache</source>
        <translation>캐시</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>대기 중</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>추가</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>편집</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>제거</translation>
    </message>
    <message id="tarn-41">
        <source>Mount</source>
        <translation>마운트</translation>
    </message>
    <message id="tarn-42">
        <source>Unmount</source>
        <translation>마운트 해제</translation>
    </message>
    <message id="tarn-43">
        <source>Check</source>
        <translation>검사</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>동기화</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>오프라인으로 전환</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>온라인으로 전환</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>캐시 지우기</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>새로 고침</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>&quot;%s&quot; 드라이브를 제거하시겠습니까? 아직 보내지 않은 데이터를 포함하여 캐시가 삭제됩니다.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>드라이브 제거</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>파일</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>방향</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>진행률</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>상태</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ 업로드</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ 다운로드</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>진행 중</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>대기 중</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>재시도 %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>완료</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>실패</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>새 드라이브</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>드라이브</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>연결</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>네트워크</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>캐시</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>호환성</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>이름</translation>
    </message>
    <message id="tarn-74">
        <source>Letter</source>
        <translation>드라이브 문자</translation>
    </message>
    <message id="tarn-75">
        <source>Protocol</source>
        <translation>프로토콜</translation>
    </message>
    <message id="tarn-76">
        <source>Address (link)</source>
        <translation>주소(링크)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>포트</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>원격 경로</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>로그인</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>암호</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>표시</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>SSH 키(PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>옵션</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>인증서 확인</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>시작 시 마운트</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>읽기 전용</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: 전체 링크를 붙여 넣으십시오. 예: https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — 포트와 경로는 물론 Nextcloud 로그인도 여기에서 가져오므로 암호만 입력하면 됩니다(앱 암호 권장). Nextcloud에서는 업로드를 이어서 할 수 있고 수정 시간이 유지됩니다. 다른 서버는 변경이 있을 때마다 파일 전체를 다시 받습니다.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: 모든 SSH 서버(OpenSSH). 암호 또는 PEM/OpenSSH 키를 사용하며, 키를 사용할 때 암호는 키의 암호 문구입니다. 임의 위치 쓰기, 양방향 이어받기, 대체를 포함한 이름 바꾸기를 지원합니다.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>TCP를 통한 NFS v3. 옵션: uid=1000,gid=1000 - 서버에서 사용할 ID. 필요하면 mountport=NNN,nfsport=NNN. 원격 경로는 내보내기(export) 경로입니다(예: /srv/share).</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>연결 시간 제한(초)</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>I/O 시간 제한(초)</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>시도 횟수</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>연결 유지 간격(초)</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>재시도 최소 지연(ms)</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>재시도 최대 지연(ms)</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>연결 수</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>속도 제한(KB/s, 0 = 없음)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>업로드 청크(MB)</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>병렬 청크 수</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>성공할 때까지 업로드 재시도</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>중단된 전송 이어서 하기</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>업로드 후 크기 확인</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>연결이 나쁠 때: 시간 제한과 시도 횟수를 늘리고 청크를 줄이십시오. 빠른 네트워크와 큰 파일: 연결 수와 병렬 청크 수를 늘리십시오. 업로드는 백그라운드에서 캐시로부터 실행되며 다시 시작한 후에도 계속됩니다.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>캐시 폴더</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>캐시 크기(MB)</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>블록 크기(KB)</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>미리 읽기(블록)</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>최대 미리 읽기(블록)</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>메타데이터 TTL(초)</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>나중 쓰기 지연(초)</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>이 크기 미만 파일 전체 미리 가져오기(MB)</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>오프라인 모드(캐시만 사용, 쓰기는 대기열에 보관)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>보내지 않은 데이터는 캐시에서 제거하지 않음</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>캐시는 블록 단위입니다. 읽은 부분만 정확히 한 번 다운로드됩니다. 큰 파일: 4-16 MB 블록, 작은 파일이 많을 때: 64-256 KB. 메타데이터 TTL이 길수록 서버 요청은 줄지만 다른 곳에서 한 변경 사항이 늦게 보입니다.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>유니코드 정규화</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>대/소문자 충돌</translation>
    </message>
    <message id="tarn-118">
        <source>NFC (Windows, Linux)</source>
        <translation>NFC(Windows, Linux)</translation>
    </message>
    <message id="tarn-119">
        <source>NFD (macOS)</source>
        <translation>NFD(macOS)</translation>
    </message>
    <message id="tarn-120">
        <source>leave as is</source>
        <translation>그대로 두기</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>거부</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>허용</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>예약된 이름 허용(CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>끝의 점 / 공백 허용</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>서버에 수정 시간 설정</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>점으로 시작하는 파일 숨기기</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Linux 서버에서 &quot;a.txt&quot;와 &quot;A.txt&quot;는 서로 다른 두 파일이며 파일 관리자에 둘 다 표시됩니다. 대/소문자를 구분하지 않는 서버(Windows 또는 macOS 공유)는 하나만 보관할 수 있습니다. 기본적으로 Tarn은 이런 쌍을 만들지 않습니다. 이름은 UTF-8로 최대 255바이트(문자 수 아님)까지 가능합니다.</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>검사</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>확인</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>서버를 검사하는 중...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>서버 검사</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>서버를 입력하십시오.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>저장할 수 없습니다: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>키 (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>닫기</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>FUSE 드라이버(fuse3 패키지)를 설치하는 중… 보통 1분 정도 걸립니다.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>FUSE 드라이버가 설치되었습니다. Tarn을 사용할 준비가 되었습니다.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>FUSE 드라이버를 설치할 수 없습니다: %s

시스템의 패키지 관리자로 fuse3 패키지를 직접 설치하십시오(예: &quot;sudo apt install fuse3&quot;).</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>설정</translation>
    </message>
    <message id="tarn-161">
        <source>Language</source>
        <translation>언어</translation>
    </message>
    <message id="tarn-162">
        <source>Automatic — %s</source>
        <translation>자동 — %s</translation>
    </message>
    <message id="tarn-163">
        <source>Updates</source>
        <translation>업데이트</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>업데이트 자동 설치</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>Tarn은 6시간마다 새 버전을 확인합니다. 이 옵션이 꺼져 있으면 Tarn은 새 버전을 알리기만 합니다. 여기나 트레이 메뉴에서 설치하십시오.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>설치된 버전: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>마지막 확인: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>아직 업데이트를 확인하지 않았습니다.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>업데이트 확인 중…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(저장됨)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>복사</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>모두 복사</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>업로드 중지…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>&quot;%s&quot; 업로드를 중지하시겠습니까?

이 컴퓨터에서 이 파일에 적용한 변경 내용은 삭제되고, 현재 서버에 있는 파일은 그대로 유지됩니다.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>백업</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>폴더</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>저장 위치</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>일정</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>마지막 백업</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>지금 백업</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>중지</translation>
    </message>
    <message id="tarn-182">
        <source>Restore…</source>
        <translation>복원…</translation>
    </message>
    <message id="tarn-183">
        <source>Log…</source>
        <translation>로그…</translation>
    </message>
    <message id="tarn-184">
        <source>Verify copy</source>
        <translation>백업 검증</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>수동</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>%d시간마다</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>매일 %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>아직 백업 없음</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>차례를 기다리는 중</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>연결하는 중…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>백업 중: %s 확인, %s 전송</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>이전 버전을 제거하는 중…</translation>
    </message>
    <message id="tarn-193">
        <source>Restoring: %s</source>
        <translation>복원 중: %s</translation>
    </message>
    <message id="tarn-194">
        <source>Verifying: %s</source>
        <translation>검증 중: %s</translation>
    </message>
    <message id="tarn-195">
        <source>Done</source>
        <translation>완료</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>완료(경고 있음)</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>실패</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>중지됨</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>다음: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>폴더는 암호화되어 사용자 소유의 서버로 복사되며, 이전 버전은 각 백업의 규칙에 따라 보관됩니다.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>백업은 이 컴퓨터의 관리자가 설정합니다.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>&quot;%s&quot; 백업을 제거하시겠습니까?

작업만 제거됩니다. 서버에 있는 백업은 그대로 남습니다.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>새 백업</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>백업</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>백업할 폴더</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>폴더 추가…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>제외(마스크, ;로 구분)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>백업 저장 위치</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>다른 서버…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>대상 폴더</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>백업 암호</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>암호 확인</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>백업은 이 컴퓨터에서 이 암호로 암호화됩니다. 암호가 없으면 누구도, 사용자 본인도 백업을 읽을 수 없으며 암호는 복구할 수 없습니다. 암호를 적어 두십시오.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: 서버는 엔드포인트입니다(s3.amazonaws.com, MinIO 등은 https://host:port). 폴더는 /bucket/folder이고, 로그인과 암호는 액세스 키와 비밀 키입니다. 옵션: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>실행 시기</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>몇 시간마다</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>매일</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>간격(시간)</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>시각(hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>보관할 버전</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>최신</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>일별</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>주별</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>월별</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>압축</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>백업할 폴더를 하나 이상 추가하십시오.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>두 암호가 다릅니다.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>백업 암호를 설정하십시오.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>서버가 응답합니다. 이 폴더에는 아직 백업이 없으며, 첫 실행 때 만들어집니다.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>이 폴더에 이미 백업이 있으며 이 암호로 열 수 있습니다. 버전: %d개.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>복원: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>버전</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (파일 %s개, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>크기</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>수정한 날짜</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>위로</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>선택 항목 복원…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>모두 복원…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>버전 삭제</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>이 버전을 삭제하시겠습니까?

다른 버전에 없는 파일은 영구히 사라집니다.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>백업을 읽는 중…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>파일을 어디에 복원하시겠습니까?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>원래 위치로
그 후에 변경된 파일은 대체됩니다.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>다른 폴더로…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>복원이 시작되었습니다. 진행 상황은 백업 탭에서 볼 수 있습니다.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — 로그</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>%s 파일을 읽을 수 없습니다: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: %s부터 %s까지의 정수를 입력하십시오.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>관리자 권한이 필요합니다. 터미널에서 다음 명령을 실행하십시오:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>이 시스템에서는 systemd가 실행되지 않으므로 여기에서 Tarn 서비스를 설치하거나 시작할 수 없습니다. root로 &quot;tarn run&quot;을 실행하여 시작하십시오.</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>마운트 중…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s은(는) %s에 마운트되었지만 캐시만 제공합니다: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s은(는) 아직 마운트 중입니다: 서버 응답이 느립니다.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>드라이브는 이 컴퓨터의 관리자가 관리합니다.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>Tarn 서비스가 실행되고 있지 않습니다. 서비스가 시작될 때까지 드라이브와 백업을 사용할 수 없습니다.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>서비스가 실행되고 있지 않음</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>업데이트는 시스템 패키지와 함께 시스템의 소프트웨어 업데이트 도구를 통해 제공됩니다.</translation>
    </message>
    <message id="tarn-264">
        <source>s</source>
        <translation>초</translation>
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
        <translation>언어는 root만 바꿀 수 있습니다. 서비스가 이 컴퓨터의 모든 사용자를 위해 보관합니다.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>언어는 서비스가 보관하는데, 서비스가 실행 중이 아닙니다.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>이 백업의 변경 내용을 버릴까요?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>버리기</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s을(를) 저장했지만 서버에 연결할 수 없어 로그인을 시험하지 못했습니다: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s이(가) 마운트되어 있습니다. 바뀐 설정은 다시 마운트할 때 적용됩니다. 지금 다시 마운트할까요?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>다시 마운트</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>복원한 파일: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>검사 통과: 팩 %s개 (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>검사에서 찾은 문제: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>삭제한 이전 버전: %s (%s 확보)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>복원</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>검사</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>정리</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>중단됨</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s은(는) 오프라인 모드입니다. 변경 내용은 다시 온라인이 되면 서버로 갑니다.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>백업 &quot;%s&quot;은(는) 실행할 때가 되어 지금 시작합니다. 그 뒤로는 일정대로 실행됩니다.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>통과</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>경고</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>연결</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>목록</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>이름</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>여유 공간</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>쓰기</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>폴더</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>특성</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>부분 읽기</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>위치 지정 쓰기</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>수정 시간</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>이름 바꾸기</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>모든 파일 (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>대소문자</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>긴 이름</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>모든 문자의 이름</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Windows 이름</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>호스트 키</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>취소됨</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>접근 모듈</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>이 서버를 사용할 수 있습니다.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>이 설정으로는 서버를 사용할 수 없습니다.</translation>
    </message>
</context>
</TS>
