"""National NF-e distribution (documents of interest): a query by key answers the NF-e
authorised in this run, or one made up for the key and signed with the simulator's own key."""

import base64
import gzip
import re

from .assinatura import modelo_assinatura
from .comum import agora, els
from .sefaz import CHAVE, CODIGO_UF, NS, Protocolo, filho, servico, texto


def distribuicao(pedido, rej, contexto):
    raiz = pedido.raiz
    chave = texto(raiz, "consChNFe/chNFe", "nfe") if raiz is not None else None
    lote = ""
    if rej is None:
        rej = pedido.desvio()
    if rej is None and raiz is not None and filho(raiz, "consChNFe", "nfe") is None:
        # Queries by NSU: this run has no documents of interest to distribute.
        rej = ("137", "Nenhum documento localizado")
    if rej is None and not re.fullmatch(CHAVE, chave or ""):
        rej = ("215", "Rejeicao: Falha no schema XML")
    with contexto.memoria.trava:
        nsu = "%015d" % (next(contexto.memoria.nsu) if rej is None else 0)
    if rej:
        cstat, motivo = rej
    else:
        cstat, motivo = "138", "Documento localizado"
        compactado = gzip.compress(nfe_proc(chave, pedido.tp_amb, contexto), mtime=0)
        lote = ('<loteDistDFeInt><docZip NSU="%s" schema="procNFe_v4.00.xsd">%s</docZip>'
                '</loteDistDFeInt>' % (nsu, base64.b64encode(compactado).decode("ascii")))
    return ('<retDistDFeInt xmlns="%s" versao="1.01">' % NS["nfe"] +
            els(("tpAmb", pedido.tp_amb), ("verAplic", "SIM-DFe-1.01"), ("cStat", cstat),
                ("xMotivo", motivo), ("dhResp", agora()), ("ultNSU", nsu), ("maxNSU", nsu)) +
            lote + "</retDistDFeInt>")


def nfe_proc(chave, tp_amb, contexto):
    """nfeProc of the key: the document authorised in this run, else one made up and signed
    with the simulator's own key."""
    with contexto.memoria.trava:
        documento = contexto.memoria.documentos.get(chave)
    if documento is not None and documento.protocolo.familia == "nfe":
        nfe, protocolo = documento.texto, documento.protocolo
    else:
        nfe = contexto.verificador.assinar(modelo_nfe(chave, tp_amb), contexto.chave_privada,
                                           contexto.certificado, "infNFe")
        digest = re.search(rb"<DigestValue>([^<]*)</DigestValue>", nfe)
        protocolo = Protocolo("nfe", chave, tp_amb, "100", "Autorizado o uso da NF-e",
                              agora(), contexto.memoria.numero(chave[:2]),
                              digest.group(1).decode() if digest else None,
                              assinante=contexto.autoridade)
    return (('<nfeProc xmlns="%s" versao="4.00">' % NS["nfe"]).encode() + nfe +
            protocolo.xml().encode() + b"</nfeProc>")


def modelo_nfe(chave, tp_amb):
    """A small NF-e 4.00 for a key the simulator never saw, with an empty signature template."""
    c_uf, aamm, cnpj, modelo, serie, numero = (chave[:2], chave[2:6], chave[6:20], chave[20:22],
                                               chave[22:25], chave[25:34])
    uf = CODIGO_UF.get(c_uf, "RS")
    emissao = "20%s-%s-01T10:00:00-03:00" % (aamm[:2], aamm[2:])
    ide = els(("cUF", c_uf), ("cNF", chave[35:43]), ("natOp", "VENDA DE MERCADORIA"), ("mod", modelo),
              ("serie", str(int(serie))), ("nNF", str(int(numero) or 1)), ("dhEmi", emissao),
              ("tpNF", "1"), ("idDest", "1"), ("cMunFG", c_uf + "00001"),
              ("tpImp", "1" if modelo == "55" else "4"), ("tpEmis", chave[34]), ("cDV", chave[43]),
              ("tpAmb", tp_amb), ("finNFe", "1"), ("indFinal", "1"), ("indPres", "1"),
              ("procEmi", "0"), ("verProc", "SIMULADOR 1.0"))
    endereco = els(("xLgr", "RUA DO SIMULADOR"), ("nro", "100"), ("xBairro", "CENTRO"),
                   ("cMun", c_uf + "00001"), ("xMun", "MUNICIPIO SIMULADO"), ("UF", uf),
                   ("CEP", "90000000"))
    emit = (els(("CNPJ", cnpj), ("xNome", "NF-E EMITIDA EM AMBIENTE DE HOMOLOGACAO - SEM VALOR FISCAL")) +
            "<enderEmit>" + endereco + "</enderEmit>" + els(("IE", "ISENTO"), ("CRT", "1")))
    prod = els(("cProd", "1"), ("cEAN", "SEM GTIN"), ("xProd", "PRODUTO SIMULADO"), ("NCM", "94036000"),
               ("CFOP", "5102"), ("uCom", "UN"), ("qCom", "1.0000"), ("vUnCom", "10.00"),
               ("vProd", "10.00"), ("cEANTrib", "SEM GTIN"), ("uTrib", "UN"), ("qTrib", "1.0000"),
               ("vUnTrib", "10.00"), ("indTot", "1"))
    imposto = ("<ICMS><ICMSSN102>" + els(("orig", "0"), ("CSOSN", "102")) + "</ICMSSN102></ICMS>"
               "<PIS><PISNT><CST>07</CST></PISNT></PIS><COFINS><COFINSNT><CST>07</CST></COFINSNT></COFINS>")
    zeros = ("vBC", "vICMS", "vICMSDeson", "vFCP", "vBCST", "vST", "vFCPST", "vFCPSTRet")
    total = (els(*((nome, "0.00") for nome in zeros)) + els(("vProd", "10.00")) +
             els(*((nome, "0.00") for nome in ("vFrete", "vSeg", "vDesc", "vII", "vIPI", "vIPIDevol",
                                               "vPIS", "vCOFINS", "vOutro"))) + els(("vNF", "10.00")))
    inf = ('<infNFe Id="NFe%s" versao="4.00"><ide>%s</ide><emit>%s</emit>'
           '<det nItem="1"><prod>%s</prod><imposto>%s</imposto></det>'
           '<total><ICMSTot>%s</ICMSTot></total><transp><modFrete>9</modFrete></transp>'
           '<pag><detPag><tPag>01</tPag><vPag>10.00</vPag></detPag></pag></infNFe>'
           % (chave, ide, emit, prod, imposto, total))
    return ('<NFe xmlns="%s">%s%s</NFe>' % (NS["nfe"], inf, modelo_assinatura("#NFe" + chave))).encode("utf-8")


ROTAS = [
    ("/NFeDistribuicaoDFe/NFeDistribuicaoDFe.asmx",
     servico("nfe_distribuicao", "nfe", "NFeDistribuicaoDFe", "nfeDistDFeInteresse", distribuicao,
             versao_dados="1.01", cabecalho="proibido", conteudo="xml", raizes=("distDFeInt",),
             mensagem="nfeDadosMsg", envoltorio="nfeDistDFeInteresse",
             resultado="nfeDistDFeInteresseResult")),
]
