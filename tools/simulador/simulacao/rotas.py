"""URL paths -> services, from the ROTAS list of every family module.

A path is compared without regard to letter case.  Most paths have one service; a path with
several (a provider that serves every operation at one address) tells them apart by the SOAP
action."""

from . import cte, distribuicao, mdfe, ndd, nfe, nfse
from .comum import FalhaSoap

# A new family is a module with a ROTAS list of (path, service), named here.
FAMILIAS = (nfe, cte, mdfe, distribuicao, nfse, ndd)


class Rota:
    def __init__(self, caminho):
        self.caminho = caminho
        self.servicos = {}   # action -> service, in the order they were added

    def adicionar(self, servico):
        anterior = self.servicos.setdefault(servico.acao, servico)
        assert anterior is servico, "acao repetida em %s: %s" % (self.caminho, servico.acao)

    def servico_para(self, acao):
        """The service of the action, else the path's first one (to name the request in the log
        before its action has been checked)."""
        return self.servicos.get(acao) or next(iter(self.servicos.values()))

    def conferir(self, acao):
        servico = self.servicos.get(acao)
        if servico is not None:
            return servico
        esperadas = list(self.servicos)
        if len(esperadas) == 1:
            raise FalhaSoap("Acao SOAP '%s' nao corresponde ao servico; esperada '%s'"
                            % (acao, esperadas[0]))
        raise FalhaSoap("Acao SOAP '%s' nao corresponde a nenhum servico deste endereco; "
                        "esperada uma de '%s'" % (acao, "', '".join(esperadas)))


def montar_rotas(familias=FAMILIAS):
    rotas = {}
    for familia in familias:
        for caminho, servico in familia.ROTAS:
            rotas.setdefault(caminho.lower(), Rota(caminho)).adicionar(servico)
    return rotas


def todos_os_servicos(rotas):
    return {id(s): s for rota in rotas.values() for s in rota.servicos.values()}.values()
