"""The scenario table (cenarios.json next to this file): per scenario, what happens at the HTTP
level on every path, and per service the row of answer values that replaces its normal answer.

A row names its services by name or by a shell-style pattern (nfse_*_recepcao); each service
reads only the keys it declares in `chaves_cenario`, so the table is checked against them when
it is loaded: a typing error in the table stops the simulator at start, not a test later."""

import fnmatch
import json
import os
import re

from .hostil import TIPOS_HOSTIS

ARQUIVO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cenarios.json")
CHAVES_CENARIO = {"efeito", "http", "respostas"}
CHAVES_HTTP = {"status", "falha", "codigo", "fechar", "processar", "esperar", "hostil"}
# Row values of a fixed kind: a wrong one would otherwise show only when a request reads it.
TIPOS = {"assincrono": bool, "protocolo": bool, "pendente": bool, "sem_protocolo": bool, "lote_recusado": bool,
         "em_processamento": int, "ocorrencias": int, "tpEvento": list, "digitos_protocolo": int}
MINIMOS = {"em_processamento": 0, "ocorrencias": 1, "digitos_protocolo": 15}


class TabelaInvalida(ValueError):
    pass


class Cenarios:
    def __init__(self, tabela, servicos):
        """`servicos`: every service of the routes (name and chaves_cenario)."""
        chaves = {}
        for servico in servicos:
            chaves.setdefault(servico.nome, set()).update(servico.chaves_cenario)
        self._http = {}
        self._regras = {}
        for nome, cenario in tabela.items():
            self._http[nome] = _http(nome, cenario)
            self._regras[nome] = _regras(nome, cenario, chaves)

    @classmethod
    def carregar(cls, servicos, arquivo=ARQUIVO):
        with open(arquivo, encoding="utf-8") as entrada:
            return cls(json.load(entrada), servicos)

    @property
    def nomes(self):
        return tuple(self._http)

    def http(self, cenario):
        """What the scenario does to every request ({} for none); None: unknown scenario."""
        return self._http.get(cenario)

    def regra(self, cenario, servico):
        """The row of the scenario for the service (without its service names), or None."""
        return self._regras.get(cenario, {}).get(servico)


def _http(nome, cenario):
    desconhecidas = set(cenario) - CHAVES_CENARIO
    if desconhecidas:
        raise TabelaInvalida("cenario %s: chaves desconhecidas %s" % (nome, sorted(desconhecidas)))
    http = cenario.get("http", {})
    desconhecidas = set(http) - CHAVES_HTTP
    if desconhecidas:
        raise TabelaInvalida("cenario %s: chaves http desconhecidas %s" % (nome, sorted(desconhecidas)))
    if http.get("status") not in (None, 404, 500):
        raise TabelaInvalida("cenario %s: status HTTP %r nao simulado" % (nome, http["status"]))
    if http.get("status") == 500 and not http.get("falha"):
        raise TabelaInvalida("cenario %s: status 500 sem o texto da falha" % nome)
    if http.get("processar") and not http.get("fechar"):
        raise TabelaInvalida("cenario %s: processar so vale com fechar" % nome)
    if "hostil" in http and http["hostil"] not in TIPOS_HOSTIS:
        raise TabelaInvalida("cenario %s: resposta hostil %r desconhecida" % (nome, http["hostil"]))
    return http


def _valido(chave, valor):
    if chave not in TIPOS:
        return True
    # type(), not isinstance(): true is an int to Python, not a count to the table.
    if type(valor) is not TIPOS[chave]:
        return False
    if chave in MINIMOS:
        return valor >= MINIMOS[chave]
    if chave == "tpEvento":
        return bool(valor) and all(isinstance(tipo, str) and re.fullmatch(r"[0-9]{6}", tipo)
                                   for tipo in valor)
    return True


def _regras(nome, cenario, chaves):
    regras = {}
    for linha in cenario.get("respostas", []):
        valores = {k: v for k, v in linha.items() if k != "servicos"}
        for chave, valor in valores.items():
            if not _valido(chave, valor):
                raise TabelaInvalida("cenario %s: valor %r invalido para %s"
                                     % (nome, valor, chave))
        for padrao in linha.get("servicos") or []:
            achados = fnmatch.filter(chaves, padrao)
            if not achados:
                raise TabelaInvalida("cenario %s: nenhum servico se chama %s" % (nome, padrao))
            for servico in achados:
                if servico in regras:
                    raise TabelaInvalida("cenario %s: servico %s em duas linhas" % (nome, servico))
                sobra = set(valores) - chaves[servico]
                if sobra:
                    raise TabelaInvalida("cenario %s: o servico %s nao le %s"
                                         % (nome, servico, sorted(sobra)))
                regras[servico] = valores
    return regras
