"""One line per request in --registro, and the received bodies in --pasta-recebidos."""

import itertools
import os
import threading

from .comum import agora


class Registro:
    def __init__(self, arquivo, pasta):
        self.arquivo = arquivo
        self.pasta = pasta
        self.trava = threading.Lock()
        self.contador = itertools.count(1)

    def proximo(self):
        with self.trava:
            return next(self.contador)

    def linha(self, **campos):
        if not self.arquivo:
            return
        texto_linha = " ".join("%s=%s" % (nome, str(valor).replace(" ", "_").replace("\n", "_"))
                               for nome, valor in campos.items() if valor is not None)
        with self.trava:
            with open(self.arquivo, "a", encoding="utf-8") as saida:
                saida.write("dh=%s %s\n" % (agora(), texto_linha))

    def guardar(self, sequencia, servico, documento, bruto):
        if not self.pasta:
            return
        base = os.path.join(self.pasta, "%04d-%s" % (sequencia, servico))
        if documento is not None:  # None: the envelope was refused, there is no message to decode
            with open(base + ".xml", "wb") as saida:
                saida.write(documento)
        with open(base + "-envelope.xml", "wb") as saida:
            saida.write(bruto)
