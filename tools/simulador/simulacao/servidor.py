"""HTTPS on loopback with a client certificate, the HTTP exchange of one request, the scenario in
force, and the start and stop of the simulator."""

import argparse
import functools
import os
import shutil
import signal
import socket
import ssl
import sys
import tempfile
import threading
import time
import traceback
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

from .assinatura import Assinante, FalhaAssinatura, Verificador, gerar_par
from . import hostil
from .cenarios import Cenarios
from .comum import CORPO_MAXIMO, LENTIDAO_MAXIMA, TEMPO_CONEXAO, TEMPO_HANDSHAKE, FalhaSoap
from .memoria import Memoria
from .registro import Registro
from .rotas import montar_rotas, todos_os_servicos
from .servico import Contexto, Pedido
from .soap import PAGINA_404, acao_bruta, envelope_falha, ler_acao, tipo_resposta


class Atendente(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "SimuladorSEFAZ/1.0"
    sys_version = ""
    timeout = TEMPO_CONEXAO

    def log_message(self, formato, *argumentos):
        pass  # the request log is --registro

    def do_POST(self):
        self.atender()

    do_GET = do_PUT = do_DELETE = do_PATCH = do_OPTIONS = do_HEAD = do_POST

    # --- reading ----------------------------------------------------------------------------

    def ler_corpo(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            return self._ler_em_partes()
        tamanho = self.headers.get("Content-Length")
        if not tamanho:
            return b""
        tamanho = int(tamanho)
        if not 0 <= tamanho <= CORPO_MAXIMO:
            raise ValueError("corpo grande demais")
        return self.rfile.read(tamanho)

    def _ler_em_partes(self):
        partes, total = [], 0
        while True:
            linha = self.rfile.readline(1024)
            tamanho = int(linha.split(b";")[0].strip() or b"0", 16)
            if tamanho == 0:
                while self.rfile.readline(1024).strip():
                    pass
                return b"".join(partes)
            total += tamanho
            if not 0 < tamanho or total > CORPO_MAXIMO:
                raise ValueError("corpo grande demais")
            partes.append(self.rfile.read(tamanho))
            self.rfile.readline(1024)

    # --- writing ----------------------------------------------------------------------------

    def enviar(self, codigo, tipo, corpo):
        self.send_response(codigo)
        self.send_header("Content-Type", tipo)
        self.send_header("Content-Length", str(len(corpo)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(corpo)

    def enviar_falha(self, soap, motivo, codigo="soap:Sender"):
        self.enviar(500, tipo_resposta(soap), envelope_falha(motivo, codigo))

    # --- the exchange -----------------------------------------------------------------------

    def atender(self):
        """One request.  The log line and the saved body are written before the answer goes
        out, so a test that has the answer in hand finds them already there."""
        simulador = self.server.simulador
        caminho = urlsplit(self.path).path
        rota = simulador.rotas.get(caminho.lower())
        servico = rota.servico_para(acao_bruta(self.headers)) if rota else None
        registrar = functools.partial(simulador.registro.linha, seq=simulador.registro.proximo(),
                                      metodo=self.command, caminho=caminho,
                                      servico=servico.nome if servico else "-")
        try:
            corpo = self.ler_corpo()
        except (ValueError, OSError):
            self.close_connection = True
            registrar(http=413)
            self.enviar(413, "text/plain; charset=utf-8", b"corpo invalido ou grande demais\n")
            return
        soap = "1.2" if "soap+xml" in self.headers.get("Content-Type", "") else "1.1"
        cenario = simulador.cenario_atual()
        registrar = functools.partial(registrar, cenario=cenario)
        efeito = simulador.cenarios.http(cenario)
        if not isinstance(self.connection, ssl.SSLSocket) and not getattr(servico, "sem_tls", False):
            # A service published over HTTPS only: without TLS the client gets nothing useful.
            registrar(http=400, resultado="sem-tls")
            self.close_connection = True
            self.enviar(400, "text/plain; charset=utf-8", b"este servico exige HTTPS\n")
        elif rota is None or (efeito or {}).get("status") == 404:
            registrar(http=404)
            self.enviar(404, "text/html; charset=utf-8", PAGINA_404)
        elif efeito is None:
            registrar(http=500, resultado="cenario-desconhecido")
            self.enviar_falha(soap, "Cenario desconhecido no simulador: '%s'" % cenario, "soap:Receiver")
        elif efeito.get("fechar") and not efeito.get("processar"):
            # Drop the connection with nothing written, like a server that falls over.
            self.close_connection = True
            registrar(http="-", resultado="conexao-fechada")
        elif efeito.get("status") == 500:
            registrar(http=500, resultado="Fault")
            self.enviar_falha(soap, efeito["falha"], efeito.get("codigo", "soap:Receiver"))
        else:
            if efeito.get("esperar"):
                time.sleep(simulador.lentidao)
            codigo, tipo, resposta, campos = self.atender_servico(rota, servico, corpo, cenario,
                                                                  soap, registrar)
            if efeito.get("fechar"):
                # The service did its work (and remembers it); only the answer is lost.
                self.close_connection = True
                campos.pop("http", None)
                campos.pop("resultado", None)
                registrar(**campos, http="-", resultado="conexao-fechada")
            elif efeito.get("hostil") and codigo == 200:
                registrar(**campos, hostil=efeito["hostil"])
                self.enviar_hostil(efeito["hostil"], tipo, resposta)
            else:
                registrar(**campos)
                self.enviar(codigo, tipo, resposta)

    def enviar_hostil(self, tipo_hostil, tipo, resposta):
        tipo, corpo = hostil.transformar(tipo_hostil, tipo, resposta)
        if isinstance(corpo, bytes):
            self.enviar(200, tipo, corpo)
            return
        tamanho, pedacos = corpo
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", tipo)
        self.send_header("Content-Length", str(tamanho))
        self.end_headers()
        try:
            for pedaco in pedacos:
                self.wfile.write(pedaco)
        except (OSError, ssl.SSLError):
            pass  # the client gave up reading, as it should

    def atender_servico(self, rota, servico, corpo, cenario, soap, registrar):
        """Runs the service; returns (HTTP status, Content-Type, body, fields of the log line)."""
        simulador = self.server.simulador
        sequencia = registrar.keywords["seq"]
        try:
            if self.command != "POST":
                raise FalhaSoap("Metodo HTTP %s nao suportado; use POST" % self.command)
            soap_pedido, acao = ler_acao(self.headers)
            servico = rota.conferir(acao)
            pedido = Pedido(servico=servico, cenario=cenario,
                            regra=simulador.cenarios.regra(cenario, servico.nome),
                            soap=soap_pedido, acao=acao, bruto=corpo)
            lido = servico.ler(pedido)
        except FalhaSoap as falha:
            simulador.registro.guardar(sequencia, servico.nome, None, corpo)
            return (500, tipo_resposta(soap), envelope_falha(falha.motivo, falha.codigo),
                    dict(acao=acao_bruta(self.headers), http=500, resultado="Fault",
                         motivo=falha.motivo))
        try:
            resposta = servico.responder(lido, simulador.contexto)
        except Exception as erro:  # a fault of the simulator itself must still reach the client
            traceback.print_exc()
            return (500, tipo_resposta(soap_pedido),
                    envelope_falha("Erro interno do simulador: %s" % erro, "soap:Receiver"),
                    dict(acao=acao, http=500, resultado="erro-interno"))
        simulador.registro.guardar(sequencia, servico.nome, resposta.documento, corpo)
        return (200, tipo_resposta(soap_pedido), resposta.corpo,
                dict(soap=soap_pedido, acao=acao, http=200, **resposta.campos))


class ServidorTLS(ThreadingHTTPServer):
    """Accepts plain TCP and does the TLS handshake in the connection's own thread, so a client
    that never completes it cannot stall the others."""

    daemon_threads = True
    block_on_close = False   # stopping must not wait for a slow answer or an idle connection
    allow_reuse_address = True

    def __init__(self, endereco, contexto, simulador):
        self.contexto = contexto
        self.simulador = simulador
        super().__init__(endereco, Atendente)

    def finish_request(self, request, client_address):
        request.settimeout(TEMPO_HANDSHAKE)
        # Some municipal providers publish their services over plain HTTP: a connection whose
        # first byte is not a TLS handshake record is read as such on the same port (and only
        # those services answer it).
        try:
            primeiro = request.recv(1, socket.MSG_PEEK)
        except OSError:
            return
        if primeiro and primeiro != b"\x16":
            request.settimeout(TEMPO_CONEXAO)
            try:
                self.RequestHandlerClass(request, client_address, self)
            except OSError:
                pass
            return
        try:
            conexao = self.contexto.wrap_socket(request, server_side=True,
                                                do_handshake_on_connect=False)
        except (ssl.SSLError, OSError):
            return
        try:
            try:
                conexao.do_handshake()
            except (ssl.SSLError, OSError) as erro:
                self.simulador.registro.linha(metodo="-", caminho="-", http="-",
                                              resultado="tls-recusado", motivo=erro)
                return
            conexao.settimeout(TEMPO_CONEXAO)
            self.RequestHandlerClass(conexao, client_address, self)
        except (ssl.SSLError, OSError):
            pass
        finally:
            try:
                conexao.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            conexao.close()


class Simulador:
    def __init__(self, opcoes, rotas, cenarios, verificador, autoridade):
        self.rotas = rotas
        self.cenarios = cenarios
        self.cenario_inicial = opcoes.cenario
        self.arquivo_cenario = opcoes.arquivo_cenario
        self.lentidao = opcoes.lentidao
        self.registro = Registro(opcoes.registro, opcoes.pasta_recebidos)
        self.contexto = Contexto(memoria=Memoria(), verificador=verificador,
                                 certificado=opcoes.certificado, chave_privada=opcoes.chave,
                                 autoridade=autoridade)

    def cenario_atual(self):
        """The scenario file's first line wins, read again on every request.  Bytes that are not
        UTF-8 make a name no scenario has, so the mistake shows in the next answer."""
        if self.arquivo_cenario:
            try:
                with open(self.arquivo_cenario, encoding="utf-8", errors="replace") as arquivo:
                    primeira = arquivo.readline().strip()
                if primeira:
                    return primeira.lower()
            except OSError:
                pass
        return self.cenario_inicial


# ---------------------------------------------------------------------------------------------
# Start and stop
# ---------------------------------------------------------------------------------------------

def ler_opcoes(argv, nomes_cenarios):
    analisador = argparse.ArgumentParser(
        description="Simulador local dos web services das SEFAZ (NF-e, NFC-e, CT-e, MDF-e), "
                    "dos provedores de NFS-e e da NDD Cargo.")
    analisador.add_argument("--porta", type=int, required=True, help="porta TCP; 0 escolhe uma livre")
    analisador.add_argument("--certificado", required=True, help="certificado PEM do servidor")
    analisador.add_argument("--chave", required=True, help="chave privada PEM do servidor")
    analisador.add_argument("--ca-clientes", required=True,
                            help="AC (PEM) que emite os certificados de cliente aceitos; "
                                 "tambem a confianca das assinaturas XML")
    analisador.add_argument("--endereco", default="127.0.0.1", help="somente 127.0.0.1")
    analisador.add_argument("--cenario", default="normal", choices=nomes_cenarios)
    analisador.add_argument("--arquivo-cenario", help="a primeira linha, se existir, vale a cada pedido")
    analisador.add_argument("--lentidao", type=float, default=5.0,
                            help="segundos de espera do cenario lento (padrao 5)")
    analisador.add_argument("--registro", help="arquivo onde acrescentar uma linha por pedido")
    analisador.add_argument("--pasta-recebidos", help="pasta onde gravar cada corpo recebido")
    analisador.add_argument("--tls-maximo", choices=("1.2", "1.3"), default="1.3",
                            help="versao maxima de TLS (1.2 imita servidores antigos)")
    analisador.add_argument("--chave-protocolo",
                            help="chave PEM que assina os protocolos (com --certificado-protocolo); "
                                 "sem ela, um par e gerado na partida")
    analisador.add_argument("--certificado-protocolo", help="certificado PEM da --chave-protocolo")
    analisador.add_argument("--gravar-certificado-protocolo", metavar="ARQ",
                            help="grava em ARQ, antes de 'pronto', o certificado PEM dos protocolos")
    opcoes = analisador.parse_args(argv)
    if bool(opcoes.chave_protocolo) != bool(opcoes.certificado_protocolo):
        analisador.error("--chave-protocolo e --certificado-protocolo vao juntos")
    if opcoes.endereco != "127.0.0.1":
        analisador.error("o simulador so escuta em 127.0.0.1 (recebido %s)" % opcoes.endereco)
    if not 0 <= opcoes.porta <= 65535:
        analisador.error("porta invalida")
    if not 0 <= opcoes.lentidao <= LENTIDAO_MAXIMA:
        analisador.error("--lentidao deve estar entre 0 e %d segundos" % LENTIDAO_MAXIMA)
    for nome in ("certificado", "chave", "ca_clientes", "chave_protocolo", "certificado_protocolo"):
        if getattr(opcoes, nome) is not None and not os.path.isfile(getattr(opcoes, nome)):
            analisador.error("arquivo nao encontrado: %s" % getattr(opcoes, nome))
    if opcoes.pasta_recebidos:
        os.makedirs(opcoes.pasta_recebidos, exist_ok=True)
    return opcoes


def contexto_tls(opcoes):
    contexto = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    contexto.minimum_version = ssl.TLSVersion.TLSv1_2
    if opcoes.tls_maximo == "1.2":
        contexto.maximum_version = ssl.TLSVersion.TLSv1_2
    contexto.load_cert_chain(opcoes.certificado, opcoes.chave)
    contexto.load_verify_locations(opcoes.ca_clientes)
    contexto.verify_mode = ssl.CERT_REQUIRED
    return contexto


def chave_da_autoridade(opcoes, verificador, pasta):
    """The key that signs the protocols, as the authorities sign theirs: the pair given, else
    one made now; its certificate is written where --gravar-certificado-protocolo says, so a
    client can check a protocol against it."""
    try:
        if opcoes.chave_protocolo:
            autoridade = Assinante(verificador, opcoes.chave_protocolo, opcoes.certificado_protocolo)
            autoridade.conferir()
        else:
            openssl = shutil.which("openssl")
            if not openssl:
                sys.exit("simulador: comando openssl nao encontrado (gera a chave dos protocolos)")
            autoridade = Assinante(verificador, *gerar_par(openssl, pasta))
    except FalhaAssinatura as erro:
        sys.exit("simulador: chave dos protocolos: %s" % erro)
    if opcoes.gravar_certificado_protocolo:
        try:
            shutil.copyfile(autoridade.certificado, opcoes.gravar_certificado_protocolo)
        except OSError as erro:
            sys.exit("simulador: nao foi possivel gravar %s: %s"
                     % (opcoes.gravar_certificado_protocolo, erro.strerror or erro))
    return autoridade


def main(argv=None):
    rotas = montar_rotas()
    try:
        cenarios = Cenarios.carregar(todos_os_servicos(rotas))
    except (OSError, ValueError) as erro:
        sys.exit("simulador: tabela de cenarios invalida: %s" % erro)
    opcoes = ler_opcoes(argv if argv is not None else sys.argv[1:], cenarios.nomes)
    xmlsec = shutil.which("xmlsec1")
    if not xmlsec:
        sys.exit("simulador: comando xmlsec1 nao encontrado (pacote Debian xmlsec1)")
    try:
        contexto = contexto_tls(opcoes)
    except (ssl.SSLError, OSError) as erro:
        sys.exit("simulador: certificado, chave ou AC invalidos: %s" % erro)
    with tempfile.TemporaryDirectory(prefix="simulador-") as pasta:
        verificador = Verificador(xmlsec, opcoes.ca_clientes, pasta)
        autoridade = chave_da_autoridade(opcoes, verificador, pasta)
        simulador = Simulador(opcoes, rotas, cenarios, verificador, autoridade)
        try:
            servidor = ServidorTLS((opcoes.endereco, opcoes.porta), contexto, simulador)
        except OSError as erro:
            sys.exit("simulador: nao foi possivel escutar em %s:%d: %s"
                     % (opcoes.endereco, opcoes.porta, erro.strerror or erro))
        parar = threading.Event()
        for sinal in (signal.SIGTERM, signal.SIGINT):
            signal.signal(sinal, lambda *_: parar.set())
        laco = threading.Thread(target=servidor.serve_forever, kwargs={"poll_interval": 0.2},
                                daemon=True)
        laco.start()
        print("pronto %d" % servidor.server_address[1], flush=True)
        while not parar.wait(0.5):
            pass
        servidor.shutdown()
        servidor.server_close()
