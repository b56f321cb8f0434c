<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
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
        <translation>Abrir o Tarn</translation>
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
        <translation>Abrir pasta</translation>
    </message>
    <message id="tarn-6">
        <source>Sync now</source>
        <translation>Sincronizar agora</translation>
    </message>
    <message id="tarn-7">
        <source>Exit</source>
        <translation>Sair</translation>
    </message>
    <message id="tarn-8">
        <source>(no drives)</source>
        <translation>(nenhuma unidade)</translation>
    </message>
    <message id="tarn-9">
        <source>Auto-update</source>
        <translation>Atualização automática</translation>
    </message>
    <message id="tarn-10">
        <source>Check for updates</source>
        <translation>Verificar atualizações</translation>
    </message>
    <message id="tarn-11">
        <source>Install update %s</source>
        <translation>Instalar atualização %s</translation>
    </message>
    <message id="tarn-12">
        <source>Tarn update</source>
        <translation>Atualização do Tarn</translation>
    </message>
    <message id="tarn-13">
        <source>You have the latest version.</source>
        <translation>Você está com a versão mais recente.</translation>
    </message>
    <message id="tarn-14">
        <source>Version %s is available. Install it from the Tarn menu.</source>
        <translation>A versão %s está disponível. Instale-a pelo menu do Tarn.</translation>
    </message>
    <message id="tarn-15">
        <source>Version %s is downloaded and will be installed. The drives go away for a minute.</source>
        <translation>A versão %s foi baixada e será instalada. As unidades ficarão indisponíveis por cerca de um minuto.</translation>
    </message>
    <message id="tarn-16">
        <source>Tarn was updated to version %s.</source>
        <translation>O Tarn foi atualizado para a versão %s.</translation>
    </message>
    <message id="tarn-17">
        <source>Could not check for updates: %s</source>
        <translation>Não foi possível verificar atualizações: %s</translation>
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
        <translation>sem conexão</translation>
    </message>
    <message id="tarn-21">
        <source>error</source>
        <translation>erro</translation>
    </message>
    <message id="tarn-22">
        <source>Tarn service</source>
        <translation>Serviço Tarn</translation>
    </message>
    <message id="tarn-23">
        <source>The Tarn service is not installed or not running. Install it now? Administrator rights are required.</source>
        <translation>O serviço Tarn não está instalado ou não está em execução. Instalar agora? São necessários privilégios de administrador.</translation>
    </message>
    <message id="tarn-24">
        <source>Install</source>
        <translation>Instalar</translation>
    </message>
    <message id="tarn-25">
        <source>The FUSE file-system driver is not installed; drives cannot be mounted without it.

Install the fuse3 package with the system&apos;s package manager:
%s</source>
        <translation>O driver de sistema de arquivos FUSE não está instalado; sem ele não é possível montar unidades.

Instale o pacote fuse3 com o gerenciador de pacotes do sistema:
%s</translation>
    </message>
    <message id="tarn-26">
        <source>FUSE driver not installed</source>
        <translation>Driver FUSE não instalado</translation>
    </message>
    <message id="tarn-27">
        <source>Tarn — network drives</source>
        <translation>Tarn — unidades de rede</translation>
    </message>
    <message id="tarn-28">
        <source>Drives</source>
        <translation>Unidades</translation>
    </message>
    <message id="tarn-29">
        <source>Transfers</source>
        <translation>Transferências</translation>
    </message>
    <message id="tarn-30">
        <source>Log</source>
        <translation>Registro</translation>
    </message>
    <message id="tarn-32">
        <source>Drive</source>
        <translation>Unidade</translation>
    </message>
    <message id="tarn-33">
        <source>Name</source>
        <translation>Nome</translation>
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
        <translation>Cache</translation>
    </message>
    <message id="tarn-37">
        <source>Pending</source>
        <translation>Pendentes</translation>
    </message>
    <message id="tarn-38">
        <source>Add</source>
        <translation>Adicionar</translation>
    </message>
    <message id="tarn-39">
        <source>Edit</source>
        <translation>Editar</translation>
    </message>
    <message id="tarn-40">
        <source>Remove</source>
        <translation>Remover</translation>
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
        <translation>Verificar</translation>
    </message>
    <message id="tarn-44">
        <source>Sync</source>
        <translation>Sincronizar</translation>
    </message>
    <message id="tarn-45">
        <source>Offline</source>
        <translation>Trabalhar sem conexão</translation>
    </message>
    <message id="tarn-46">
        <source>Online</source>
        <translation>Trabalhar conectado</translation>
    </message>
    <message id="tarn-47">
        <source>Clear cache</source>
        <translation>Limpar cache</translation>
    </message>
    <message id="tarn-48">
        <source>Refresh</source>
        <translation>Atualizar</translation>
    </message>
    <message id="tarn-49">
        <source>Remove drive &quot;%s&quot;? Its cache, including unsent data, will be deleted.</source>
        <translation>Remover a unidade “%s”? O cache dela, incluindo os dados ainda não enviados, será apagado.</translation>
    </message>
    <message id="tarn-50">
        <source>Remove drive</source>
        <translation>Remover unidade</translation>
    </message>
    <message id="tarn-52">
        <source>File</source>
        <translation>Arquivo</translation>
    </message>
    <message id="tarn-53">
        <source>Direction</source>
        <translation>Sentido</translation>
    </message>
    <message id="tarn-54">
        <source>Progress</source>
        <translation>Progresso</translation>
    </message>
    <message id="tarn-55">
        <source>State</source>
        <translation>Estado</translation>
    </message>
    <message id="tarn-56">
        <source>↑ upload</source>
        <translation>↑ enviando</translation>
    </message>
    <message id="tarn-57">
        <source>↓ download</source>
        <translation>↓ baixando</translation>
    </message>
    <message id="tarn-58">
        <source>active</source>
        <translation>ativa</translation>
    </message>
    <message id="tarn-59">
        <source>waiting</source>
        <translation>aguardando</translation>
    </message>
    <message id="tarn-60">
        <source>retry %d</source>
        <translation>nova tentativa %d</translation>
    </message>
    <message id="tarn-61">
        <source>done</source>
        <translation>concluída</translation>
    </message>
    <message id="tarn-62">
        <source>failed</source>
        <translation>falhou</translation>
    </message>
    <message id="tarn-67">
        <source>New drive</source>
        <translation>Nova unidade</translation>
    </message>
    <message id="tarn-68">
        <source>Drive</source>
        <translation>Unidade</translation>
    </message>
    <message id="tarn-69">
        <source>Connection</source>
        <translation>Conexão</translation>
    </message>
    <message id="tarn-70">
        <source>Network</source>
        <translation>Rede</translation>
    </message>
    <message id="tarn-71">
        <source>Cache</source>
        <translation>Cache</translation>
    </message>
    <message id="tarn-72">
        <source>Compatibility</source>
        <translation>Compatibilidade</translation>
    </message>
    <message id="tarn-73">
        <source>Name</source>
        <translation>Nome</translation>
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
        <translation>Endereço (link)</translation>
    </message>
    <message id="tarn-77">
        <source>Port</source>
        <translation>Porta</translation>
    </message>
    <message id="tarn-78">
        <source>Remote path</source>
        <translation>Caminho remoto</translation>
    </message>
    <message id="tarn-79">
        <source>Login</source>
        <translation>Usuário</translation>
    </message>
    <message id="tarn-80">
        <source>Password</source>
        <translation>Senha</translation>
    </message>
    <message id="tarn-81">
        <source>Show</source>
        <translation>Mostrar</translation>
    </message>
    <message id="tarn-82">
        <source>SSH key (PEM)</source>
        <translation>Chave SSH (PEM)</translation>
    </message>
    <message id="tarn-83">
        <source>Options</source>
        <translation>Opções</translation>
    </message>
    <message id="tarn-84">
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message id="tarn-85">
        <source>Verify certificate</source>
        <translation>Verificar certificado</translation>
    </message>
    <message id="tarn-86">
        <source>Mount at start</source>
        <translation>Montar ao iniciar</translation>
    </message>
    <message id="tarn-87">
        <source>Read only</source>
        <translation>Somente leitura</translation>
    </message>
    <message id="tarn-88">
        <source>WebDAV: paste the whole link, e.g. https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — the port and path are taken from it, and so is the Nextcloud login; only the password is left to type (an app password is better). Nextcloud gets resumable uploads and mtime; other servers re-send the whole file on any change.</source>
        <translation>WebDAV: cole o link completo, por exemplo https://cloud.example.com/remote.php/dav/files/&lt;login&gt; — a porta e o caminho são tirados dele, assim como o usuário do Nextcloud; só falta digitar a senha (uma senha de aplicativo é melhor). Com o Nextcloud, os envios podem ser retomados e a data de modificação é mantida; outros servidores recebem o arquivo inteiro de novo a cada alteração.</translation>
    </message>
    <message id="tarn-89">
        <source>SFTP: any SSH server (OpenSSH). Password or a PEM/OpenSSH key; the password is then the key passphrase. Offset writes, resume both ways, rename with replace.</source>
        <translation>SFTP: qualquer servidor SSH (OpenSSH). Senha ou chave PEM/OpenSSH; nesse caso a senha é a frase secreta da chave. Gravação em qualquer posição, retomada nos dois sentidos, renomeação com substituição.</translation>
    </message>
    <message id="tarn-90">
        <source>NFS v3 over TCP. Options: uid=1000,gid=1000 - the identity used on the server; mountport=NNN,nfsport=NNN when needed. Remote path is the export, e.g. /srv/share.</source>
        <translation>NFS v3 sobre TCP. Opções: uid=1000,gid=1000 - a identidade usada no servidor; mountport=NNN,nfsport=NNN quando necessário. O caminho remoto é a exportação, por exemplo /srv/share.</translation>
    </message>
    <message id="tarn-91">
        <source>Connect timeout, s</source>
        <translation>Tempo limite de conexão, s</translation>
    </message>
    <message id="tarn-92">
        <source>I/O timeout, s</source>
        <translation>Tempo limite de E/S, s</translation>
    </message>
    <message id="tarn-93">
        <source>Attempts</source>
        <translation>Tentativas</translation>
    </message>
    <message id="tarn-94">
        <source>Keepalive, s</source>
        <translation>Intervalo de keepalive, s</translation>
    </message>
    <message id="tarn-95">
        <source>Retry delay min, ms</source>
        <translation>Espera entre tentativas mín., ms</translation>
    </message>
    <message id="tarn-96">
        <source>Retry delay max, ms</source>
        <translation>Espera entre tentativas máx., ms</translation>
    </message>
    <message id="tarn-97">
        <source>Connections</source>
        <translation>Conexões</translation>
    </message>
    <message id="tarn-98">
        <source>Speed limit, KB/s (0 = none)</source>
        <translation>Limite de velocidade, KB/s (0 = sem limite)</translation>
    </message>
    <message id="tarn-99">
        <source>Upload chunk, MB</source>
        <translation>Parte do envio, MB</translation>
    </message>
    <message id="tarn-100">
        <source>Parallel chunks</source>
        <translation>Partes em paralelo</translation>
    </message>
    <message id="tarn-101">
        <source>Retry uploads until they succeed</source>
        <translation>Repetir os envios até terem êxito</translation>
    </message>
    <message id="tarn-102">
        <source>Resume interrupted transfers</source>
        <translation>Retomar transferências interrompidas</translation>
    </message>
    <message id="tarn-103">
        <source>Verify size after upload</source>
        <translation>Verificar o tamanho após o envio</translation>
    </message>
    <message id="tarn-104">
        <source>Bad links: raise timeouts and attempts, lower the chunk. Fast networks and big files: more connections and parallel chunks. Uploads run from the cache in the background and survive restarts.</source>
        <translation>Conexões ruins: aumente os tempos limite e as tentativas, diminua a parte. Redes rápidas e arquivos grandes: mais conexões e partes em paralelo. Os envios saem do cache em segundo plano e continuam após reinicializações.</translation>
    </message>
    <message id="tarn-105">
        <source>Cache folder</source>
        <translation>Pasta do cache</translation>
    </message>
    <message id="tarn-106">
        <source>Cache size, MB</source>
        <translation>Tamanho do cache, MB</translation>
    </message>
    <message id="tarn-107">
        <source>Block, KB</source>
        <translation>Tamanho do bloco, KB</translation>
    </message>
    <message id="tarn-108">
        <source>Read-ahead, blocks</source>
        <translation>Leitura antecipada, blocos</translation>
    </message>
    <message id="tarn-109">
        <source>Read-ahead max, blocks</source>
        <translation>Leitura antecipada máx., blocos</translation>
    </message>
    <message id="tarn-110">
        <source>Metadata TTL, s</source>
        <translation>TTL dos metadados, s</translation>
    </message>
    <message id="tarn-111">
        <source>Write-back delay, s</source>
        <translation>Atraso da gravação diferida, s</translation>
    </message>
    <message id="tarn-112">
        <source>Prefetch whole files below, MB</source>
        <translation>Pré-carregar arquivos inteiros abaixo de, MB</translation>
    </message>
    <message id="tarn-113">
        <source>Offline mode (cache only, writes queue up)</source>
        <translation>Modo sem conexão (só cache, gravações ficam na fila)</translation>
    </message>
    <message id="tarn-114">
        <source>Never evict unsent data</source>
        <translation>Nunca descartar dados não enviados</translation>
    </message>
    <message id="tarn-115">
        <source>The cache is block-based: only what is read gets downloaded, exactly once. Big files: 4-16 MB blocks; many small files: 64-256 KB. A longer metadata TTL means fewer server requests but later visibility of changes made elsewhere.</source>
        <translation>O cache funciona em blocos: só o que é lido é baixado, e uma única vez. Arquivos grandes: blocos de 4-16 MB; muitos arquivos pequenos: 64-256 KB. Um TTL de metadados maior significa menos requisições ao servidor, mas alterações feitas em outro lugar aparecem mais tarde.</translation>
    </message>
    <message id="tarn-116">
        <source>Unicode normalization</source>
        <translation>Normalização Unicode</translation>
    </message>
    <message id="tarn-117">
        <source>Case collision</source>
        <translation>Nomes que diferem só em maiúsculas</translation>
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
        <translation>deixar como está</translation>
    </message>
    <message id="tarn-121">
        <source>refuse</source>
        <translation>recusar</translation>
    </message>
    <message id="tarn-122">
        <source>allow</source>
        <translation>permitir</translation>
    </message>
    <message id="tarn-123">
        <source>Allow reserved names (CON, NUL, ...)</source>
        <translation>Permitir nomes reservados (CON, NUL, ...)</translation>
    </message>
    <message id="tarn-124">
        <source>Allow trailing dot / space</source>
        <translation>Permitir ponto / espaço no final</translation>
    </message>
    <message id="tarn-125">
        <source>Set modification time on the server</source>
        <translation>Definir a data de modificação no servidor</translation>
    </message>
    <message id="tarn-126">
        <source>Hide dot-files</source>
        <translation>Ocultar arquivos iniciados por ponto</translation>
    </message>
    <message id="tarn-127">
        <source>On Linux servers &quot;a.txt&quot; and &quot;A.txt&quot; are two files, and the file manager shows both; a server that ignores case (a Windows or macOS share) may keep only one. Tarn refuses to create such a pair by default. Names may be up to 255 UTF-8 bytes (not characters).</source>
        <translation>Em servidores Linux, “a.txt” e “A.txt” são dois arquivos, e o gerenciador de arquivos mostra os dois; um servidor que não diferencia maiúsculas (um compartilhamento Windows ou macOS) pode manter só um. Por padrão, o Tarn se recusa a criar um par assim. Os nomes podem ter até 255 bytes UTF-8 (não caracteres).</translation>
    </message>
    <message id="tarn-128">
        <source>Check</source>
        <translation>Verificar</translation>
    </message>
    <message id="tarn-129">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="tarn-130">
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message id="tarn-131">
        <source>Checking the server...</source>
        <translation>Verificando o servidor...</translation>
    </message>
    <message id="tarn-132">
        <source>Server check</source>
        <translation>Verificação do servidor</translation>
    </message>
    <message id="tarn-133">
        <source>Enter a server.</source>
        <translation>Informe um servidor.</translation>
    </message>
    <message id="tarn-134">
        <source>Could not save: %s</source>
        <translation>Não foi possível salvar: %s</translation>
    </message>
    <message id="tarn-135">
        <source>Keys (*.pem *.key id_*)</source>
        <translation>Chaves (*.pem *.key id_*)</translation>
    </message>
    <message id="tarn-152">
        <source>Close</source>
        <translation>Fechar</translation>
    </message>
    <message id="tarn-157">
        <source>Installing the FUSE driver (the fuse3 package)… This usually takes about a minute.</source>
        <translation>Instalando o driver FUSE (pacote fuse3)… Isso costuma levar cerca de um minuto.</translation>
    </message>
    <message id="tarn-158">
        <source>The FUSE driver is installed. Tarn is ready.</source>
        <translation>O driver FUSE está instalado. O Tarn está pronto.</translation>
    </message>
    <message id="tarn-159">
        <source>The FUSE driver could not be installed: %s

Install the fuse3 package with the system&apos;s package manager yourself, e.g. &quot;sudo apt install fuse3&quot;.</source>
        <translation>Não foi possível instalar o driver FUSE: %s

Instale você mesmo o pacote fuse3 com o gerenciador de pacotes do sistema, por exemplo “sudo apt install fuse3”.</translation>
    </message>
    <message id="tarn-160">
        <source>Settings</source>
        <translation>Configurações</translation>
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
        <translation>Atualizações</translation>
    </message>
    <message id="tarn-164">
        <source>Install updates automatically</source>
        <translation>Instalar atualizações automaticamente</translation>
    </message>
    <message id="tarn-165">
        <source>Tarn checks for a new version every 6 hours. When this is off, Tarn only tells you about a new version; install it here or from the tray menu.</source>
        <translation>O Tarn procura uma nova versão a cada 6 horas. Quando esta opção está desativada, o Tarn apenas avisa sobre a nova versão; instale-a aqui ou pelo menu da área de notificação.</translation>
    </message>
    <message id="tarn-166">
        <source>Installed version %s</source>
        <translation>Versão instalada: %s</translation>
    </message>
    <message id="tarn-167">
        <source>Last check: %s</source>
        <translation>Última verificação: %s</translation>
    </message>
    <message id="tarn-168">
        <source>Updates have not been checked yet.</source>
        <translation>As atualizações ainda não foram verificadas.</translation>
    </message>
    <message id="tarn-169">
        <source>Checking for updates…</source>
        <translation>Verificando atualizações…</translation>
    </message>
    <message id="tarn-170">
        <source>(saved)</source>
        <translation>(salva)</translation>
    </message>
    <message id="tarn-171">
        <source>Copy</source>
        <translation>Copiar</translation>
    </message>
    <message id="tarn-172">
        <source>Copy all</source>
        <translation>Copiar tudo</translation>
    </message>
    <message id="tarn-173">
        <source>Stop upload…</source>
        <translation>Interromper envio…</translation>
    </message>
    <message id="tarn-174">
        <source>Stop uploading &quot;%s&quot;?

The changes to this file on this computer are dropped; the copy now on the server stays.</source>
        <translation>Interromper o envio de “%s”?

As alterações deste arquivo neste computador serão descartadas; a versão que está agora no servidor permanece.</translation>
    </message>
    <message id="tarn-175">
        <source>Backup</source>
        <translation>Backup</translation>
    </message>
    <message id="tarn-176">
        <source>Folders</source>
        <translation>Pastas</translation>
    </message>
    <message id="tarn-177">
        <source>Kept on</source>
        <translation>Guardado em</translation>
    </message>
    <message id="tarn-178">
        <source>Schedule</source>
        <translation>Agendamento</translation>
    </message>
    <message id="tarn-179">
        <source>Last copy</source>
        <translation>Última cópia</translation>
    </message>
    <message id="tarn-180">
        <source>Back up now</source>
        <translation>Fazer backup agora</translation>
    </message>
    <message id="tarn-181">
        <source>Stop</source>
        <translation>Parar</translation>
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
        <translation>Verificar cópia</translation>
    </message>
    <message id="tarn-185">
        <source>By hand</source>
        <translation>Manual</translation>
    </message>
    <message id="tarn-186">
        <source>Every %d h</source>
        <translation>A cada %d h</translation>
    </message>
    <message id="tarn-187">
        <source>Daily at %s</source>
        <translation>Diariamente às %s</translation>
    </message>
    <message id="tarn-188">
        <source>No copy yet</source>
        <translation>Nenhuma cópia ainda</translation>
    </message>
    <message id="tarn-189">
        <source>Waiting for its turn</source>
        <translation>Aguardando a vez</translation>
    </message>
    <message id="tarn-190">
        <source>Connecting…</source>
        <translation>Conectando…</translation>
    </message>
    <message id="tarn-191">
        <source>Copying: %s looked through, %s sent</source>
        <translation>Copiando: %s examinados, %s enviados</translation>
    </message>
    <message id="tarn-192">
        <source>Removing old versions…</source>
        <translation>Removendo versões antigas…</translation>
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
        <translation>Concluído</translation>
    </message>
    <message id="tarn-196">
        <source>Done, with warnings</source>
        <translation>Concluído, com avisos</translation>
    </message>
    <message id="tarn-197">
        <source>Failed</source>
        <translation>Falhou</translation>
    </message>
    <message id="tarn-198">
        <source>Stopped</source>
        <translation>Interrompido</translation>
    </message>
    <message id="tarn-199">
        <source>next: %s</source>
        <translation>próxima: %s</translation>
    </message>
    <message id="tarn-201">
        <source>Folders are copied to your own server, encrypted; old versions are kept by the rules of each backup.</source>
        <translation>As pastas são copiadas, criptografadas, para o seu próprio servidor; as versões antigas são mantidas conforme as regras de cada backup.</translation>
    </message>
    <message id="tarn-202">
        <source>Backups are set up by an administrator of this computer.</source>
        <translation>Os backups são configurados por um administrador deste computador.</translation>
    </message>
    <message id="tarn-204">
        <source>Remove the backup &quot;%s&quot;?

Only the job is removed. The copy on the server stays where it is.</source>
        <translation>Remover o backup “%s”?

Só a tarefa é removida. A cópia no servidor fica onde está.</translation>
    </message>
    <message id="tarn-205">
        <source>New backup</source>
        <translation>Novo backup</translation>
    </message>
    <message id="tarn-206">
        <source>Backup</source>
        <translation>Backup</translation>
    </message>
    <message id="tarn-207">
        <source>Folders to copy</source>
        <translation>Pastas a copiar</translation>
    </message>
    <message id="tarn-208">
        <source>Add folder…</source>
        <translation>Adicionar pasta…</translation>
    </message>
    <message id="tarn-209">
        <source>Skip (masks, separated by ;)</source>
        <translation>Ignorar (máscaras separadas por ;)</translation>
    </message>
    <message id="tarn-210">
        <source>Keep the copy on</source>
        <translation>Guardar a cópia em</translation>
    </message>
    <message id="tarn-211">
        <source>Another server…</source>
        <translation>Outro servidor…</translation>
    </message>
    <message id="tarn-212">
        <source>Folder there</source>
        <translation>Pasta de destino</translation>
    </message>
    <message id="tarn-213">
        <source>Backup password</source>
        <translation>Senha do backup</translation>
    </message>
    <message id="tarn-214">
        <source>Once more</source>
        <translation>Repetir</translation>
    </message>
    <message id="tarn-215">
        <source>The copy is encrypted on this computer with this password. Without the password nobody can read it, and neither can you: it cannot be recovered. Write it down.</source>
        <translation>A cópia é criptografada neste computador com esta senha. Sem a senha ninguém consegue lê-la, nem mesmo você: ela não pode ser recuperada. Anote-a.</translation>
    </message>
    <message id="tarn-216">
        <source>S3: the server is the endpoint (s3.amazonaws.com, or https://host:port for MinIO and the like), the folder is /bucket/folder, the login and the password are the access key and the secret key. Options: region=eu-central-1</source>
        <translation>S3: o servidor é o endpoint (s3.amazonaws.com, ou https://host:port para MinIO e similares), a pasta é /bucket/folder, o usuário e a senha são a chave de acesso e a chave secreta. Opções: region=eu-central-1</translation>
    </message>
    <message id="tarn-217">
        <source>When</source>
        <translation>Quando</translation>
    </message>
    <message id="tarn-218">
        <source>Every few hours</source>
        <translation>A cada poucas horas</translation>
    </message>
    <message id="tarn-219">
        <source>Every day</source>
        <translation>Todos os dias</translation>
    </message>
    <message id="tarn-220">
        <source>Every, hours</source>
        <translation>Intervalo, horas</translation>
    </message>
    <message id="tarn-221">
        <source>At (hh:mm)</source>
        <translation>Às (hh:mm)</translation>
    </message>
    <message id="tarn-222">
        <source>Versions to keep</source>
        <translation>Versões a manter</translation>
    </message>
    <message id="tarn-223">
        <source>latest</source>
        <translation>mais recentes</translation>
    </message>
    <message id="tarn-224">
        <source>daily</source>
        <translation>diárias</translation>
    </message>
    <message id="tarn-225">
        <source>weekly</source>
        <translation>semanais</translation>
    </message>
    <message id="tarn-226">
        <source>monthly</source>
        <translation>mensais</translation>
    </message>
    <message id="tarn-227">
        <source>Compress</source>
        <translation>Compactar</translation>
    </message>
    <message id="tarn-228">
        <source>Add at least one folder to copy.</source>
        <translation>Adicione pelo menos uma pasta a copiar.</translation>
    </message>
    <message id="tarn-229">
        <source>The two passwords differ.</source>
        <translation>As duas senhas são diferentes.</translation>
    </message>
    <message id="tarn-230">
        <source>Set a password for the copy.</source>
        <translation>Defina uma senha para a cópia.</translation>
    </message>
    <message id="tarn-231">
        <source>The server answers. There is no copy in this folder yet: the first run creates it.</source>
        <translation>O servidor responde. Ainda não há cópia nesta pasta: a primeira execução vai criá-la.</translation>
    </message>
    <message id="tarn-232">
        <source>A copy is already in this folder and the password opens it. Versions: %d.</source>
        <translation>Já existe uma cópia nesta pasta e a senha a abre. Versões: %d.</translation>
    </message>
    <message id="tarn-233">
        <source>Restore: %s</source>
        <translation>Restaurar: %s</translation>
    </message>
    <message id="tarn-234">
        <source>Version</source>
        <translation>Versão</translation>
    </message>
    <message id="tarn-235">
        <source>%s  (%s files, %s)</source>
        <translation>%s  (%s arquivos, %s)</translation>
    </message>
    <message id="tarn-236">
        <source>Size</source>
        <translation>Tamanho</translation>
    </message>
    <message id="tarn-237">
        <source>Modified</source>
        <translation>Modificado</translation>
    </message>
    <message id="tarn-238">
        <source>Up</source>
        <translation>Acima</translation>
    </message>
    <message id="tarn-239">
        <source>Restore selected…</source>
        <translation>Restaurar seleção…</translation>
    </message>
    <message id="tarn-240">
        <source>Restore everything…</source>
        <translation>Restaurar tudo…</translation>
    </message>
    <message id="tarn-241">
        <source>Delete version</source>
        <translation>Excluir versão</translation>
    </message>
    <message id="tarn-242">
        <source>Delete this version?

Files that are in no other version are gone for good.</source>
        <translation>Excluir esta versão?

Os arquivos que não estão em nenhuma outra versão serão perdidos para sempre.</translation>
    </message>
    <message id="tarn-243">
        <source>Reading the copy…</source>
        <translation>Lendo a cópia…</translation>
    </message>
    <message id="tarn-244">
        <source>Where should the files go?</source>
        <translation>Para onde devem ir os arquivos?</translation>
    </message>
    <message id="tarn-245">
        <source>To where they were
Files that have changed since are replaced.</source>
        <translation>Para onde estavam
Arquivos alterados desde então serão substituídos.</translation>
    </message>
    <message id="tarn-246">
        <source>To another folder…</source>
        <translation>Para outra pasta…</translation>
    </message>
    <message id="tarn-247">
        <source>Restoring has started. Its progress is on the Backup tab.</source>
        <translation>A restauração começou. O andamento aparece na guia Backup.</translation>
    </message>
    <message id="tarn-252">
        <source>%s — Log</source>
        <translation>%s — Registro</translation>
    </message>
    <message id="tarn-253">
        <source>The file %s cannot be read: %s</source>
        <translation>Não é possível ler o arquivo %s: %s</translation>
    </message>
    <message id="tarn-254">
        <source>%s: enter a whole number from %s to %s.</source>
        <translation>%s: digite um número inteiro de %s a %s.</translation>
    </message>
    <message id="tarn-255">
        <source>Administrator rights are needed. Run this command in a terminal:
%s</source>
        <translation>São necessários privilégios de administrador. Execute este comando em um terminal:
%s</translation>
    </message>
    <message id="tarn-256">
        <source>This system does not run systemd, so the Tarn service cannot be installed or started from here. Start it as root with &quot;tarn run&quot;.</source>
        <translation>Este sistema não usa systemd, então o serviço Tarn não pode ser instalado nem iniciado daqui. Inicie-o como root com “tarn run”.</translation>
    </message>
    <message id="tarn-257">
        <source>mounting…</source>
        <translation>montando…</translation>
    </message>
    <message id="tarn-258">
        <source>%s is mounted at %s but serves only its cache: %s</source>
        <translation>%s está montada em %s, mas só serve o seu cache: %s</translation>
    </message>
    <message id="tarn-259">
        <source>%s is still being mounted: its server is slow to answer.</source>
        <translation>%s ainda está sendo montada: o servidor demora a responder.</translation>
    </message>
    <message id="tarn-260">
        <source>Drives are managed by an administrator of this computer.</source>
        <translation>As unidades são gerenciadas por um administrador deste computador.</translation>
    </message>
    <message id="tarn-261">
        <source>The Tarn service is not running: drives and backups cannot be used until it starts.</source>
        <translation>O serviço Tarn não está em execução: unidades e backups não podem ser usados até que ele inicie.</translation>
    </message>
    <message id="tarn-262">
        <source>the service is not running</source>
        <translation>o serviço não está em execução</translation>
    </message>
    <message id="tarn-263">
        <source>Updates come with the system&apos;s packages, through its software updater.</source>
        <translation>As atualizações vêm com os pacotes do sistema, pelo atualizador de software dele.</translation>
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
        <translation>Só o root muda o idioma: o serviço o guarda para todos os usuários deste computador.</translation>
    </message>
    <message id="tarn-269">
        <source>The language is kept by the service, which is not running.</source>
        <translation>O idioma é guardado pelo serviço, que não está em execução.</translation>
    </message>
    <message id="tarn-270">
        <source>Discard the changes to this backup?</source>
        <translation>Descartar as alterações deste backup?</translation>
    </message>
    <message id="tarn-271">
        <source>Discard</source>
        <translation>Descartar</translation>
    </message>
    <message id="tarn-272">
        <source>%s is saved, but its log-in could not be tried, as its server cannot be reached: %s</source>
        <translation>%s foi salvo, mas o login não pôde ser testado, pois o servidor não pode ser alcançado: %s</translation>
    </message>
    <message id="tarn-273">
        <source>%s is mounted: the changed settings apply when it is mounted again. Mount it again now?</source>
        <translation>%s está montado: as configurações alteradas valem quando for montado de novo. Montar de novo agora?</translation>
    </message>
    <message id="tarn-274">
        <source>Mount again</source>
        <translation>Montar de novo</translation>
    </message>
    <message id="tarn-275">
        <source>%s, %s</source>
        <translation>%s, %s</translation>
    </message>
    <message id="tarn-276">
        <source>Files restored: %s (%s)</source>
        <translation>Arquivos restaurados: %s (%s)</translation>
    </message>
    <message id="tarn-277">
        <source>Check passed: %s packs (%s)</source>
        <translation>Verificação aprovada: %s pacotes (%s)</translation>
    </message>
    <message id="tarn-278">
        <source>Problems found by the check: %s</source>
        <translation>Problemas encontrados pela verificação: %s</translation>
    </message>
    <message id="tarn-279">
        <source>Old versions removed: %s (%s freed)</source>
        <translation>Versões antigas removidas: %s (%s liberados)</translation>
    </message>
    <message id="tarn-280">
        <source>%s: %s</source>
        <translation>%s: %s</translation>
    </message>
    <message id="tarn-281">
        <source>Restore</source>
        <translation>Restauração</translation>
    </message>
    <message id="tarn-282">
        <source>Verification</source>
        <translation>Verificação</translation>
    </message>
    <message id="tarn-283">
        <source>Cleanup</source>
        <translation>Limpeza</translation>
    </message>
    <message id="tarn-284">
        <source>Interrupted</source>
        <translation>Interrompida</translation>
    </message>
    <message id="tarn-285">
        <source>%s is in offline mode: its changes go to the server once it is back online.</source>
        <translation>%s está no modo offline: as alterações vão para o servidor quando voltar a ficar online.</translation>
    </message>
    <message id="tarn-286">
        <source>The backup &quot;%s&quot; is due and starts now; after that it runs on its schedule.</source>
        <translation>O backup &quot;%s&quot; está pendente e começa agora; depois segue sua programação.</translation>
    </message>
    <message id="tarn-287">
        <source>Passed</source>
        <translation>Aprovado</translation>
    </message>
    <message id="tarn-288">
        <source>Warning</source>
        <translation>Aviso</translation>
    </message>
    <message id="tarn-289">
        <source>Connection</source>
        <translation>Conexão</translation>
    </message>
    <message id="tarn-290">
        <source>Listing</source>
        <translation>Listagem</translation>
    </message>
    <message id="tarn-291">
        <source>Names</source>
        <translation>Nomes</translation>
    </message>
    <message id="tarn-292">
        <source>Free space</source>
        <translation>Espaço livre</translation>
    </message>
    <message id="tarn-293">
        <source>Writing</source>
        <translation>Gravação</translation>
    </message>
    <message id="tarn-294">
        <source>Folders</source>
        <translation>Pastas</translation>
    </message>
    <message id="tarn-295">
        <source>Attributes</source>
        <translation>Atributos</translation>
    </message>
    <message id="tarn-296">
        <source>Partial reads</source>
        <translation>Leituras parciais</translation>
    </message>
    <message id="tarn-297">
        <source>Writes at an offset</source>
        <translation>Gravação em uma posição</translation>
    </message>
    <message id="tarn-298">
        <source>Modification time</source>
        <translation>Hora de modificação</translation>
    </message>
    <message id="tarn-299">
        <source>Renaming</source>
        <translation>Renomeação</translation>
    </message>
    <message id="tarn-300">
        <source>All files (*)</source>
        <translation>Todos os arquivos (*)</translation>
    </message>
    <message id="tarn-301">
        <source>Letter case</source>
        <translation>Maiúsculas e minúsculas</translation>
    </message>
    <message id="tarn-302">
        <source>Long names</source>
        <translation>Nomes longos</translation>
    </message>
    <message id="tarn-303">
        <source>Names in any script</source>
        <translation>Nomes em qualquer escrita</translation>
    </message>
    <message id="tarn-304">
        <source>Windows names</source>
        <translation>Nomes do Windows</translation>
    </message>
    <message id="tarn-305">
        <source>Host key</source>
        <translation>Chave do servidor</translation>
    </message>
    <message id="tarn-306">
        <source>Canceled</source>
        <translation>Cancelado</translation>
    </message>
    <message id="tarn-307">
        <source>Back-end</source>
        <translation>Módulo de acesso</translation>
    </message>
    <message id="tarn-308">
        <source>The server can be used.</source>
        <translation>O servidor pode ser usado.</translation>
    </message>
    <message id="tarn-309">
        <source>The server cannot be used with these settings.</source>
        <translation>O servidor não pode ser usado com essas configurações.</translation>
    </message>
</context>
</TS>
