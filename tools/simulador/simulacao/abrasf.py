"""Answer documents of the NFS-e providers, in the two ABRASF layouts: 1.00 (and the providers
that write its types their own way) and 2.0x.  Each builder returns the children of the answer's
root element; the provider module puts them in the root (or, for a provider that answers typed
elements, straight into its result element)."""

from dataclasses import dataclass

from .comum import els

ABRASF1 = "http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd"
ABRASF2 = "http://www.abrasf.org.br/nfse.xsd"


@dataclass(frozen=True)
class Dialeto:
    """How a provider writes the ABRASF 1.00 types."""
    tipos: str = ""                                # prefix of the elements of the complex types
    cpf_cnpj: bool = False                         # Cnpj inside CpfCnpj
    municipio_servico: str = "CodigoMunicipio"     # element of Servico naming the municipality
    data_rps: str = "data"                         # DataEmissaoRps as date or dateTime
    competencia: str = "dataHora"                  # Competencia as dateTime or year and month
    natureza: str = "1"                            # NaturezaOperacao (providers have own tables)
    confirmacao: str = "DataHoraCancelamento"      # or "InfConfirmacaoCancelamento"


@dataclass
class Nota:
    """An NFS-e the simulator issued."""
    numero: str          # 15 digits
    codigo: str          # verification code
    emissao: str         # date and time
    rps: tuple           # (number, series, type) of the RPS it came from
    cnpj: str
    inscricao: str       # municipal registration, or None
    municipio: str       # IBGE code
    uf: str


def mensagens(p, lista):
    """ListaMensagemRetorno: (Codigo, Mensagem, Correcao or None) per message."""
    return ("<ListaMensagemRetorno>" +
            "".join("<MensagemRetorno>%s</MensagemRetorno>"
                    % _p(p, els(("Codigo", c), ("Mensagem", m), ("Correcao", x))) for c, m, x in lista) +
            "</ListaMensagemRetorno>")


def _p(p, texto):
    """Puts the prefix of the complex types on every element of `texto` (written without)."""
    if not p:
        return texto
    return texto.replace("</", "\0").replace("<", "<" + p).replace("\0", "</" + p)


# --- ABRASF 1.00 ------------------------------------------------------------------------------

def lote_recebido(numero_lote, protocolo, recebimento):
    return els(("NumeroLote", numero_lote), ("DataRecebimento", recebimento), ("Protocolo", protocolo))


def comp_nfse_v1(nota, d=Dialeto(), cancelamento=None):
    """`cancelamento`: the answer cancelamento_v1 gave for this NFS-e, whose confirmation the
    NFS-e then carries in NfseCancelamento."""
    numero_rps, serie, tipo = nota.rps
    prestador = ("<CpfCnpj>%s</CpfCnpj>" % els(("Cnpj", nota.cnpj)) if d.cpf_cnpj
                 else els(("Cnpj", nota.cnpj)))
    inf = (els(("Numero", nota.numero), ("CodigoVerificacao", nota.codigo), ("DataEmissao", nota.emissao)) +
           "<IdentificacaoRps>" + els(("Numero", numero_rps), ("Serie", serie), ("Tipo", tipo)) +
           "</IdentificacaoRps>" +
           els(("DataEmissaoRps", nota.emissao[:10] if d.data_rps == "data" else nota.emissao),
               ("NaturezaOperacao", d.natureza), ("RegimeEspecialTributacao", "1"),
               ("OptanteSimplesNacional", "2"), ("IncentivadorCultural", "2"),
               ("Competencia", nota.emissao if d.competencia == "dataHora"
                else nota.emissao[:4] + nota.emissao[5:7])) +
           "<Servico><Valores>" +
           els(("ValorServicos", "100.00"), ("IssRetido", "2"), ("ValorIss", "2.00"),
               ("BaseCalculo", "100.00"), ("Aliquota", "0.02"), ("ValorLiquidoNfse", "100.00")) +
           "</Valores>" +
           els(("ItemListaServico", "1401"), ("Discriminacao", "SERVICO PRESTADO EM AMBIENTE SIMULADO"),
               (d.municipio_servico, nota.municipio)) +
           "</Servico><PrestadorServico><IdentificacaoPrestador>" + prestador +
           els(("InscricaoMunicipal", nota.inscricao)) + "</IdentificacaoPrestador>" +
           els(("RazaoSocial", "PRESTADOR SIMULADO %s LTDA" % nota.cnpj)) +
           "<Endereco>" + els(("Endereco", "RUA DO SIMULADOR"), ("Numero", "100"), ("Bairro", "CENTRO"),
                              ("Cep", "90000000")) + "</Endereco></PrestadorServico>" +
           "<TomadorServico>" + els(("RazaoSocial", "TOMADOR SIMULADO")) + "</TomadorServico>" +
           "<OrgaoGerador>" + els(("CodigoMunicipio", nota.municipio), ("Uf", nota.uf)) + "</OrgaoGerador>")
    # The providers answer the NFS-e without the signature the 1.00 schema asks for.
    nfse = _p(d.tipos, '<Nfse><InfNfse id="N%s">%s</InfNfse></Nfse>' % (nota.numero, inf))
    if cancelamento:
        confirmacao = cancelamento[len("<Cancelamento>"):-len("</Cancelamento>")]
        nfse += "<%sNfseCancelamento>%s</%sNfseCancelamento>" % (d.tipos, confirmacao, d.tipos)
    return '<CompNfse>%s</CompNfse>' % nfse


def cancelamento_v1(pedido, quando, d=Dialeto()):
    """Cancelamento echoing the request's Pedido (numero, cnpj, inscricao, municipio, codigo)."""
    numero, cnpj, inscricao, municipio, codigo = pedido
    inf = ('<Pedido><InfPedidoCancelamento id="C%s"><IdentificacaoNfse>%s</IdentificacaoNfse>%s'
           '</InfPedidoCancelamento></Pedido>'
           % (numero, els(("Numero", numero), ("Cnpj", cnpj), ("InscricaoMunicipal", inscricao),
                          ("CodigoMunicipio", municipio)), els(("CodigoCancelamento", codigo))))
    if d.confirmacao == "DataHoraCancelamento":
        inf += els(("DataHoraCancelamento", quando))
    else:
        inf += "<InfConfirmacaoCancelamento>%s</InfConfirmacaoCancelamento>" % els(
            ("Sucesso", "true"), ("DataHora", quando))
    # Unsigned, as the providers answer it.
    return "<Cancelamento>%s</Cancelamento>" % _p(d.tipos, '<Confirmacao id="C%s">%s</Confirmacao>'
                                                   % (numero, inf))


# --- ABRASF 2.0x ------------------------------------------------------------------------------

def comp_nfse_v2(nota, versao, cancelamento=None):
    """`cancelamento`: the answer cancelamento_v2 gave for this NFS-e (its NfseCancelamento)."""
    numero_rps, serie, tipo = nota.rps
    cpf_cnpj = "<CpfCnpj>%s</CpfCnpj>" % els(("Cnpj", nota.cnpj))
    identificacao = cpf_cnpj + els(("InscricaoMunicipal", nota.inscricao))
    declaracao = ("<Rps><IdentificacaoRps>" + els(("Numero", numero_rps), ("Serie", serie), ("Tipo", tipo)) +
                  "</IdentificacaoRps>" + els(("DataEmissao", nota.emissao[:10]), ("Status", "1")) + "</Rps>" +
                  els(("Competencia", nota.emissao[:10])) +
                  "<Servico><Valores>" + els(("ValorServicos", "100.00")) + "</Valores>" +
                  els(("IssRetido", "2"), ("ItemListaServico", "14.01"),
                      ("Discriminacao", "SERVICO PRESTADO EM AMBIENTE SIMULADO"),
                      ("CodigoMunicipio", nota.municipio), ("ExigibilidadeISS", "1")) + "</Servico>" +
                  "<Prestador>" + identificacao + "</Prestador>" +
                  els(("OptanteSimplesNacional", "2"), ("IncentivoFiscal", "2")))
    inf = (els(("Numero", nota.numero), ("CodigoVerificacao", nota.codigo), ("DataEmissao", nota.emissao)) +
           "<ValoresNfse>" + els(("BaseCalculo", "100.00"), ("Aliquota", "2.00"), ("ValorIss", "2.00"),
                                 ("ValorLiquidoNfse", "100.00")) + "</ValoresNfse>" +
           "<PrestadorServico><IdentificacaoPrestador>" + identificacao + "</IdentificacaoPrestador>" +
           els(("RazaoSocial", "PRESTADOR SIMULADO %s LTDA" % nota.cnpj)) +
           "<Endereco>" + els(("Endereco", "RUA DO SIMULADOR"), ("Numero", "100"), ("Bairro", "CENTRO"),
                              ("CodigoMunicipio", nota.municipio), ("Uf", nota.uf), ("Cep", "90000000")) +
           "</Endereco></PrestadorServico>" +
           "<OrgaoGerador>" + els(("CodigoMunicipio", nota.municipio), ("Uf", nota.uf)) + "</OrgaoGerador>" +
           "<DeclaracaoPrestacaoServico><InfDeclaracaoPrestacaoServico>" + declaracao +
           "</InfDeclaracaoPrestacaoServico></DeclaracaoPrestacaoServico>")
    nfse_cancelamento = cancelamento[len("<RetCancelamento>"):-len("</RetCancelamento>")] if cancelamento else ""
    return '<CompNfse><Nfse versao="%s"><InfNfse Id="N%s">%s</InfNfse></Nfse>%s</CompNfse>' % (
        versao, nota.numero, inf, nfse_cancelamento)


def cancelamento_v2(pedido, quando, versao):
    numero, cnpj, inscricao, municipio, codigo = pedido
    identificacao = (els(("Numero", numero)) + "<CpfCnpj>%s</CpfCnpj>" % els(("Cnpj", cnpj)) +
                     els(("InscricaoMunicipal", inscricao), ("CodigoMunicipio", municipio)))
    return ('<RetCancelamento><NfseCancelamento versao="%s"><Confirmacao Id="C%s"><Pedido>'
            '<InfPedidoCancelamento Id="P%s"><IdentificacaoNfse>%s</IdentificacaoNfse>%s'
            '</InfPedidoCancelamento></Pedido>%s</Confirmacao></NfseCancelamento></RetCancelamento>'
            % (versao, numero, numero, identificacao, els(("CodigoCancelamento", codigo)),
               els(("DataHora", quando))))
