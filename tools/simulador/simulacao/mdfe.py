"""MDF-e 3.00 services of SVRS: every one carries the mdfeCabecMsg header and answers in an
element named after its operation."""

from . import sefaz_respostas as respostas
from .comum import els
from .sefaz import (CHAVES_AUTORIZACAO, CHAVES_EVENTO, FAMILIAS, NS, servico, texto,
                    uf_do_pedido)


def _mdfe(nome, servico_wsdl, raizes, resultado, construtor, conteudo="xml", **extra):
    return servico(nome, "mdfe", servico_wsdl, "", construtor, versao_dados="3.00",
                   cabecalho="obrigatorio", conteudo=conteudo, raizes=raizes,
                   resultado=resultado, **extra)


def nao_encerrados(pedido, rej, contexto):
    emitente = (texto(pedido.raiz, "CNPJ", "mdfe") or texto(pedido.raiz, "CPF", "mdfe") or ""
                if pedido.raiz is not None else "")
    if rej is None and not emitente:
        rej = ("215", "Rejeicao: Falha no schema XML")
    if rej is None:
        rej = pedido.desvio()
    abertos = []
    if rej is None:
        with contexto.memoria.trava:
            # The key holds the issuer's CNPJ, or its CPF with three leading zeros.
            abertos = [d.protocolo for d in contexto.memoria.documentos.values()
                       if d.protocolo.familia == "mdfe" and d.situacao == "autorizado"
                       and d.protocolo.chave[6:20] == emitente.zfill(14)]
    if rej:
        cstat, motivo = rej
    elif abertos:
        cstat, motivo = "111", "Consulta nao encerrados localizou MDF-e"
    else:
        cstat, motivo = "112", "Consulta nao encerrados nao localizou MDF-e"
    lista = "".join("<infMDFe>" + els(("chMDFe", p.chave), ("nProt", p.n_prot)) + "</infMDFe>"
                    for p in abertos)
    return ('<retConsMDFeNaoEnc xmlns="%s" versao="3.00">' % NS["mdfe"] +
            els(("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["mdfe"]["ver_aplic"]),
                ("cStat", cstat), ("xMotivo", motivo), ("cUF", uf_do_pedido(pedido))) +
            lista + "</retConsMDFeNaoEnc>")


ROTAS = [
    ("/ws/mdferecepcaosinc/MDFeRecepcaoSinc.asmx",
     _mdfe("mdfe_autorizacao", "MDFeRecepcaoSinc", ("MDFe",), "mdfeRecepcaoResult",
           respostas.autorizacao_sincrona, conteudo="base64", chaves_cenario=CHAVES_AUTORIZACAO)),
    ("/ws/mdfeconsulta/MDFeConsulta.asmx",
     _mdfe("mdfe_consulta", "MDFeConsulta", ("consSitMDFe",), "mdfeConsultaMDFResult",
           respostas.consulta)),
    ("/ws/mdferecepcaoevento/MDFeRecepcaoEvento.asmx",
     _mdfe("mdfe_evento", "MDFeRecepcaoEvento", ("eventoMDFe",), "mdfeRecepcaoEventoResult",
           respostas.evento_cte_mdfe, chaves_cenario=CHAVES_EVENTO)),
    ("/ws/mdfestatusservico/MDFeStatusServico.asmx",
     _mdfe("mdfe_status", "MDFeStatusServico", ("consStatServMDFe",), "mdfeStatusServicoMDFResult",
           respostas.status)),
    ("/ws/mdfeconsnaoenc/MDFeConsNaoEnc.asmx",
     _mdfe("mdfe_nao_encerrados", "MDFeConsNaoEnc", ("consMDFeNaoEnc",), "mdfeConsNaoEncResult",
           nao_encerrados)),
]
