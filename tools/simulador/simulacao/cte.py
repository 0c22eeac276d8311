"""CT-e 4.00 services of SVRS and of the states that authorise their own (MG, MS, MT, PR, SP)."""

from . import sefaz_respostas as respostas
from .sefaz import CHAVES_AUTORIZACAO, CHAVES_EVENTO, servico


def _cte(nome, servico_wsdl, raizes, construtor, conteudo="xml", operacao="", **extra):
    return servico(nome, "cte", servico_wsdl, operacao, construtor, versao_dados="4.00",
                   cabecalho="proibido", conteudo=conteudo, raizes=raizes,
                   resultado="cteResultMsg", **extra)


def _autorizacao(nome, servico_wsdl, raiz, **extra):
    return _cte(nome, servico_wsdl, (raiz,), respostas.autorizacao_sincrona, conteudo="base64",
                chaves_cenario=CHAVES_AUTORIZACAO, **extra)


ROTAS = [
    ("/ws/CTeStatusServicoV4/CTeStatusServicoV4.asmx",
     _cte("cte_status", "CTeStatusServicoV4", ("consStatServCTe",), respostas.status)),
    ("/ws/CTeRecepcaoSincV4/CTeRecepcaoSincV4.asmx",
     _autorizacao("cte_autorizacao", "CTeRecepcaoSincV4", "CTe")),
    ("/ws/CTeRecepcaoSimpV4/CTeRecepcaoSimpV4.asmx",
     _autorizacao("cte_simplificado", "CTeRecepcaoSimpV4", "CTeSimp", operacao="cteRecepcaoSimp")),
    ("/ws/cteinutilizacao/cteinutilizacao.asmx",
     _cte("cte_inutilizacao", "CteInutilizacao", ("inutCTe",), respostas.inutilizacao)),
    ("/ws/CTeConsultaV4/CTeConsultaV4.asmx",
     _cte("cte_consulta", "CTeConsultaV4", ("consSitCTe",), respostas.consulta)),
    ("/ws/CTeRecepcaoEventoV4/CTeRecepcaoEventoV4.asmx",
     _cte("cte_evento", "CTeRecepcaoEventoV4", ("eventoCTe",), respostas.evento_cte_mdfe,
          chaves_cenario=CHAVES_EVENTO)),
]

# The 4.00 services of the states that authorise their own CT-e: the same services, on each
# state's paths (MG, MS, MT, PR, SP; MT's simplified reception on a path of its own).
_PROPRIOS = {
    "CTeStatusServicoV4": ROTAS[0][1],
    "CTeRecepcaoSincV4": ROTAS[1][1],
    "CTeRecepcaoSimpV4": ROTAS[2][1],
    "CTeConsultaV4": ROTAS[4][1],
    "CTeRecepcaoEventoV4": ROTAS[5][1],
}
for _prefixo, _sufixo in (("/cte/services/", ""), ("/ws/", ""), ("/ctews2/services/", ""),
                          ("/cte4/", ""), ("/CTeWS/WS/", ".asmx")):
    for _nome, _servico in _PROPRIOS.items():
        _caminho = _prefixo + _nome + _sufixo
        if _prefixo == "/ctews2/services/" and _nome == "CTeRecepcaoSimpV4":
            _caminho = "/cte-ws/services/CTeRecepcaoSimpV4"
        ROTAS.append((_caminho, _servico))
