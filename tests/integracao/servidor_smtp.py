"""A local SMTP server (aiosmtpd) for the tests of the e-mail transport, on loopback.

    servidor_smtp.py --modo MODO --pasta PASTA [--porta N] [--certificado C --chave K]
                     [--usuario U --senha S]
    servidor_smtp.py ler MENSAGEM.eml

Modes:
  starttls    STARTTLS required before anything else, then AUTH required
  implicito   TLS from the first byte, AUTH required
  simples     no TLS; AUTH offered in clear but not required (a client that would send its
              password in clear is seen doing it)
  recusa-tls  like simples, but STARTTLS is announced and then refused (454)

Every command is logged in PASTA/comandos.log as "tls NAME" or "claro NAME" (never its
arguments), every login attempt as "login USER ok|recusado"; every message is saved as
PASTA/mensagem-N.eml with its envelope in PASTA/mensagem-N.json. "pronto PORT" is printed once
listening. "ler" prints the parsed message as JSON (Python's email module, default policy).
"""

import argparse
import base64
import email
import json
import os
import ssl
import sys
import threading
import time
from email import policy

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult


class Registro:
    def __init__(self, pasta):
        self.pasta = pasta
        self.trava = threading.Lock()
        self.mensagens = 0

    def linha(self, texto):
        with self.trava, open(os.path.join(self.pasta, "comandos.log"), "a", encoding="utf-8") as f:
            f.write(texto + "\n")

    def mensagem(self, envelope):
        with self.trava:
            self.mensagens += 1
            base = os.path.join(self.pasta, f"mensagem-{self.mensagens}")
        with open(base + ".json.tmp", "w", encoding="utf-8") as f:
            json.dump({"de": envelope.mail_from, "para": envelope.rcpt_tos}, f)
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        os.replace(base + ".json.tmp", base + ".json")
        os.replace(base + ".eml.tmp", base + ".eml")


class Manipulador:
    def __init__(self, registro, anuncia_starttls):
        self.registro = registro
        self.anuncia_starttls = anuncia_starttls

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.anuncia_starttls:
            responses.insert(len(responses) - 1, "250-STARTTLS")
        return responses

    async def handle_DATA(self, server, session, envelope):
        self.registro.mensagem(envelope)
        return "250 OK"


class SMTPRegistrado(SMTP):
    def __init__(self, handler, *, registro, **kwargs):
        super().__init__(handler, **kwargs)
        self._registro = registro
        for nome, metodo in list(self._smtp_methods.items()):
            self._smtp_methods[nome] = self._registrando(nome, metodo)

    def _registrando(self, nome, metodo):
        async def chama(arg):
            cifrado = self.transport is not None and self.transport.get_extra_info("ssl_object") is not None
            self._registro.linha(("tls " if cifrado else "claro ") + nome)
            return await metodo(arg)

        return chama


class Controlador(Controller):
    def __init__(self, handler, registro, **kwargs):
        self._registro = registro
        super().__init__(handler, **kwargs)

    def factory(self):
        return SMTPRegistrado(self.handler, registro=self._registro, **self.SMTP_kwargs)

    def _trigger_server(self):
        # Port 0 asks the system for a free port; the probe must use the one it gave.
        self.port = self.server.sockets[0].getsockname()[1]
        super()._trigger_server()


def ler(caminho):
    with open(caminho, "rb") as f:
        bruto = f.read()
    msg = email.message_from_bytes(bruto, policy=policy.default)
    defeitos = [repr(d) for d in msg.defects]
    anexos = []
    for parte in msg.walk():
        defeitos += [repr(d) for d in parte.defects]
        if parte.is_attachment():
            anexos.append(
                {
                    "nome": parte.get_filename(),
                    "tipo": parte.get_content_type(),
                    "codificacao": parte.get("Content-Transfer-Encoding", ""),
                    "base64": base64.b64encode(parte.get_payload(decode=True)).decode("ascii"),
                }
            )
    corpo = msg.get_body(("plain",))
    saida = {
        "defeitos": defeitos,
        "de": str(msg["From"]),
        "para": [str(a.addr_spec) for a in msg["To"].addresses] if msg["To"] is not None else [],
        "assunto": str(msg["Subject"]),
        "data": str(msg["Date"]),
        "id": str(msg["Message-ID"]),
        "corpo": corpo.get_content() if corpo is not None else None,
        "corpo_tipo": corpo.get_content_type() if corpo is not None else "",
        "corpo_charset": corpo.get_content_charset() if corpo is not None else "",
        "corpo_codificacao": corpo.get("Content-Transfer-Encoding", "") if corpo is not None else "",
        "anexos": anexos,
        "linhas_longas": [linha.decode("latin-1") for linha in bruto.split(b"\r\n") if len(linha) > 78],
        "so_ascii": all(b < 128 for b in bruto),
    }
    json.dump(saida, sys.stdout, ensure_ascii=True)
    sys.stdout.write("\n")


def serve(argumentos):
    p = argparse.ArgumentParser()
    p.add_argument("--modo", choices=["starttls", "implicito", "simples", "recusa-tls"], required=True)
    p.add_argument("--pasta", required=True)
    p.add_argument("--porta", type=int, default=0)
    p.add_argument("--certificado")
    p.add_argument("--chave")
    p.add_argument("--usuario", default="usuario")
    p.add_argument("--senha", default="senha")
    a = p.parse_args(argumentos)

    registro = Registro(a.pasta)

    def autentica(server, session, envelope, mechanism, auth_data):
        login = getattr(auth_data, "login", b"") or b""
        senha = getattr(auth_data, "password", b"") or b""
        ok = login == a.usuario.encode() and senha == a.senha.encode()
        registro.linha("login " + login.decode("utf-8", "replace") + (" ok" if ok else " recusado"))
        return AuthResult(success=ok, handled=False)

    contexto = None
    if a.modo in ("starttls", "implicito"):
        contexto = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        contexto.load_cert_chain(a.certificado, a.chave)

    parametros = {"authenticator": autentica}
    if a.modo == "starttls":
        parametros.update(tls_context=contexto, require_starttls=True, auth_required=True, auth_require_tls=True)
    elif a.modo == "implicito":
        parametros.update(ssl_context=contexto, auth_required=True, auth_require_tls=False)
    else:
        parametros.update(auth_required=False, auth_require_tls=False)

    manipulador = Manipulador(registro, anuncia_starttls=a.modo == "recusa-tls")
    controlador = Controlador(manipulador, registro, hostname="127.0.0.1", port=a.porta, **parametros)
    controlador.start()
    print(f"pronto {controlador.port}", flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass
    finally:
        controlador.stop()


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "ler":
        ler(sys.argv[2])
    else:
        serve(sys.argv[1:])
