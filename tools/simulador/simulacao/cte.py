"""CT-e 4.00 services of SVRS and of the MG and MT authorities, which keep their older service
names for the 4.00 messages."""

import re

from . import sefaz_respostas as respostas
from .comum import els
from .sefaz import (CHAVES_AUTORIZACAO, CHAVES_EVENTO, FAMILIAS, NS, servico, texto,
                    uf_do_pedido)


def _cte(nome, servico_wsdl, raizes, construtor, conteudo="xml", operacao="", **extra):
    return servico(nome, "cte", servico_wsdl, operacao, construtor, versao_dados="4.00",
                   cabecalho="proibido", conteudo=conteudo, raizes=raizes,
                   resultado="cteResultMsg", **extra)


def ret_autorizacao(pedido, rej, _contexto):
    # CT-e reception is synchronous: there is never a receipt to report on.
    n_rec = texto(pedido.raiz, "nRec", "cte") or ""
    cstat, motivo = rej or pedido.desvio() or ("106", "Lote nao localizado")
    return ('<retConsReciCTe xmlns="%s" versao="4.00">' % NS["cte"] +
            els(("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["cte"]["ver_aplic"]),
                ("nRec", n_rec if re.fullmatch(r"\d{15}", n_rec) else "0" * 15),
                ("cStat", cstat), ("xMotivo", motivo), ("cUF", uf_do_pedido(pedido, n_rec[:2]))) +
            "</retConsReciCTe>")


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

# MG and MT keep their older service names; the messages are the 4.00 ones.
_ANTIGOS = (
    ("CteStatusServico", _cte("cte_status", "CteStatusServico", ("consStatServCTe",),
                              respostas.status)),
    ("CteRecepcao", _autorizacao("cte_autorizacao", "CteRecepcao", "CTe")),
    ("CteRetRecepcao", _cte("cte_ret_autorizacao", "CteRetRecepcao", ("consReciCTe",),
                            ret_autorizacao)),
    ("CteInutilizacao", _cte("cte_inutilizacao", "CteInutilizacao", ("inutCTe",),
                             respostas.inutilizacao)),
    ("CteConsulta", _cte("cte_consulta", "CteConsulta", ("consSitCTe",), respostas.consulta)),
    ("CteRecepcaoEvento", _cte("cte_evento", "CteRecepcaoEvento", ("eventoCTe",),
                               respostas.evento_cte_mdfe, chaves_cenario=CHAVES_EVENTO)),
)
for _nome, _servico in _ANTIGOS:
    _evento = _nome == "CteRecepcaoEvento"
    ROTAS.append(("/cte/services/" + ("RecepcaoEvento" if _evento else _nome) + ".asmx", _servico))
    ROTAS.append((("/ctews2/services/" if _evento else "/ctews/services/") + _nome, _servico))
