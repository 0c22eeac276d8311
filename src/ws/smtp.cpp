#include "ws/smtp.h"

#include "ws/curl_comum.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <curl/curl.h>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

using Mime = Posse<curl_mime, curl_mime_free>;

bool temControle(const QString& texto) {
    return std::any_of(texto.begin(), texto.end(),
                       [](QChar c) { return c.unicode() < 32 || c.unicode() == 127; });
}

bool soAscii(const QString& texto) {
    return std::all_of(texto.begin(), texto.end(), [](QChar c) { return c.unicode() < 128; });
}

// RFC 2047 encoded words of at most 75 characters, never splitting a character, folded onto
// continuation lines so no header line grows past the recommended 78 characters.
QByteArray palavrasCodificadas(const QString& texto) {
    QByteArrayList palavras;
    QByteArray atual;
    const auto fecha = [&] {
        if (!atual.isEmpty()) palavras << "=?UTF-8?B?" + atual.toBase64() + "?=";
        atual.clear();
    };
    for (const char32_t c : texto.toUcs4()) {
        const QByteArray bytes = QString::fromUcs4(&c, 1).toUtf8();
        // 39 bytes are 52 Base64 characters; with "=?UTF-8?B?" and "?=" the word has 64, which
        // leaves room for the header name on the first line.
        if (atual.size() + bytes.size() > 39) fecha();
        atual += bytes;
    }
    fecha();
    return palavras.join("\r\n ");
}

// A header value as written when it is plain ASCII, else as encoded words.
QByteArray valorCabecalho(const QString& texto) {
    return soAscii(texto) ? texto.toLatin1() : palavrasCodificadas(texto);
}

// An address for From or To. A display name outside ASCII becomes encoded words; an address
// outside ASCII (internationalised mail) goes as UTF-8, which is all it can be.
QByteArray enderecoCabecalho(const QString& endereco) {
    const QString texto = endereco.trimmed();
    if (soAscii(texto)) return texto.toLatin1();
    const qsizetype abre = texto.lastIndexOf(u'<');
    if (abre > 0 && texto.endsWith(u'>')) {
        QString nome = texto.left(abre).trimmed();
        if (nome.size() >= 2 && nome.startsWith(u'"') && nome.endsWith(u'"'))
            nome = nome.mid(1, nome.size() - 2);
        return palavrasCodificadas(nome) + ' ' + texto.mid(abre).toUtf8();
    }
    return texto.toUtf8();
}

// The addresses of To, several to a line.
QByteArray listaCabecalho(const QStringList& enderecos) {
    QByteArray lista;
    qsizetype coluna = 4; // after "To: "
    for (const QString& endereco : enderecos) {
        const QByteArray e = enderecoCabecalho(endereco);
        if (!lista.isEmpty()) {
            lista += ',';
            if (coluna + 2 + e.size() > 78) {
                lista += "\r\n";
                coluna = 0;
            }
            lista += ' ';
            coluna += 2;
        }
        lista += e;
        const qsizetype quebra = e.lastIndexOf('\n');
        coluna = quebra >= 0 ? e.size() - quebra - 1 : coluna + e.size();
    }
    return lista;
}

// RFC 5322 date, with English names whatever the locale.
QByteArray dataCabecalho(const QDateTime& instante) {
    static constexpr const char* kDias[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static constexpr const char* kMeses[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDateTime d = instante.isValid() ? instante : QDateTime::currentDateTimeUtc();
    const QDate dia = d.date();
    const QTime hora = d.time();
    const int deslocamento = d.offsetFromUtc() / 60;
    const int absoluto = deslocamento < 0 ? -deslocamento : deslocamento;
    return QString::asprintf("%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", kDias[dia.dayOfWeek() - 1],
                             dia.day(), kMeses[dia.month() - 1], dia.year(), hora.hour(), hora.minute(),
                             hora.second(), deslocamento < 0 ? '-' : '+', absoluto / 60, absoluto % 60)
        .toLatin1();
}

// A Message-ID unique to this message, in the sender's domain when it has a plain one.
QByteArray identificadorMensagem(const QString& remetente, const QDateTime& instante) {
    QString dominio = enderecoEnvelope(remetente).section(u'@', -1);
    const bool simples = !dominio.isEmpty() && enderecoEnvelope(remetente).contains(u'@') &&
                         std::all_of(dominio.begin(), dominio.end(), [](QChar c) {
                             return (c.isLetterOrNumber() && c.unicode() < 128) || c == u'.' || c == u'-';
                         });
    if (!simples) dominio = u"qel-dfe.localdomain"_s;
    const QDateTime d = instante.isValid() ? instante : QDateTime::currentDateTimeUtc();
    return "<" + d.toUTC().toString(u"yyyyMMddHHmmss"_s).toLatin1() + '.' +
           QByteArray::number(QRandomGenerator::system()->generate64(), 16) + "@" + dominio.toLatin1() + ">";
}

// A file name that goes in a quoted "filename=" parameter as it is.
bool nomeSimples(const QString& nome) {
    return std::all_of(nome.begin(), nome.end(), [](QChar c) {
        return c.unicode() >= 32 && c.unicode() < 127 && c != u'"' && c != u'\\';
    });
}

// RFC 2231: the UTF-8 bytes, percent-encoded outside the attribute characters.
QByteArray nomeRfc2231(const QString& nome) {
    return nome.toUtf8().toPercentEncoding("!#$&+^`{|}~");
}

QByteArray tipoConteudo(const QString& caminho) {
    const QString extensao = QFileInfo(caminho).suffix().toLower();
    if (extensao == u"xml"_s) return "application/xml";
    if (extensao == u"pdf"_s) return "application/pdf";
    return "application/octet-stream";
}

// A host name or address, never something that would change the meaning of the URL.
bool hostValido(const QString& host) {
    return !host.isEmpty() && !temControle(host) && std::none_of(host.begin(), host.end(), [](QChar c) {
        return c == u' ' || c == u'/' || c == u'?' || c == u'#' || c == u'@' || c == u'\\' || c == u'%';
    });
}

// Why the exchange failed, for the user. curl's own text comes along for the technical detail,
// unless it holds the password.
QString motivo(CURLcode codigo, long resposta, const char* erroCurl, const ServidorSmtp& s) {
    const QString servidor = s.host + u':' + QString::number(s.porta);
    QString texto;
    switch (codigo) {
    case CURLE_COULDNT_RESOLVE_HOST:
        texto = u"o servidor SMTP "_s + s.host + u" não foi encontrado"_s;
        break;
    case CURLE_COULDNT_CONNECT:
        texto = u"não foi possível conectar ao servidor SMTP "_s + servidor;
        break;
    case CURLE_OPERATION_TIMEDOUT:
        texto = u"o servidor SMTP "_s + servidor + u" não respondeu dentro do tempo limite"_s;
        break;
    case CURLE_USE_SSL_FAILED:
        texto = u"o servidor SMTP "_s + servidor +
                u" não aceitou a conexão segura (STARTTLS); nada foi enviado sem criptografia"_s;
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
        texto = u"o certificado do servidor SMTP "_s + servidor + u" não é confiável"_s;
        break;
    case CURLE_SSL_CONNECT_ERROR:
        texto = u"a negociação da conexão segura com o servidor SMTP "_s + servidor + u" falhou"_s;
        break;
    case CURLE_SSL_CACERT_BADFILE:
        texto = u"as autoridades certificadoras para verificar o servidor SMTP não puderam ser lidas"_s;
        break;
    case CURLE_LOGIN_DENIED:
        texto = u"o servidor SMTP "_s + servidor + u" recusou o usuário ou a senha"_s;
        break;
    case CURLE_READ_ERROR:
        texto = u"um anexo não pôde ser lido durante o envio"_s;
        break;
    case CURLE_FILESIZE_EXCEEDED:
        texto = u"a mensagem é maior do que o servidor SMTP aceita"_s;
        break;
    default:
        if (resposta == 530 && !s.tls && !s.usuario.isEmpty())
            texto = u"o servidor SMTP "_s + servidor +
                    u" exige autenticação, e o usuário e a senha só são enviados com SSL"_s;
        else if (resposta == 530)
            texto = u"o servidor SMTP "_s + servidor + u" exige autenticação"_s;
        else if (resposta >= 400)
            texto = u"o servidor SMTP "_s + servidor + u" recusou a mensagem (código "_s +
                    QString::number(resposta) + u')';
        else
            texto = u"a comunicação com o servidor SMTP "_s + servidor + u" falhou"_s;
    }
    const QString detalhe =
        QString::fromUtf8(erroCurl && erroCurl[0] ? erroCurl : curl_easy_strerror(codigo)).trimmed();
    if (!detalhe.isEmpty() && (s.senha.isEmpty() || !detalhe.contains(s.senha)))
        texto += u" ("_s + detalhe + u')';
    return texto;
}

// What must be right before a connection is made.
QString verificaAntes(const ServidorSmtp& s, const MensagemSmtp& m) {
    if (s.host.trimmed().isEmpty()) return u"servidor SMTP não informado"_s;
    if (!hostValido(s.host.trimmed())) return u"nome do servidor SMTP inválido: "_s + s.host;
    if (s.porta < 1 || s.porta > 65535) return u"porta SMTP inválida: "_s + QString::number(s.porta);
    const auto enderecoInvalido = [](const QString& e) {
        const QString envelope = enderecoEnvelope(e);
        return temControle(e) || envelope.isEmpty() ||
               std::any_of(envelope.begin(), envelope.end(),
                           [](QChar c) { return c.isSpace() || c == u'<' || c == u'>'; });
    };
    if (m.remetente.trimmed().isEmpty()) return u"remetente do email não informado"_s;
    if (enderecoInvalido(m.remetente)) return u"endereço do remetente inválido: "_s + m.remetente;
    if (m.destinatarios.isEmpty()) return u"nenhum destinatário informado para o email"_s;
    for (const QString& d : m.destinatarios)
        if (enderecoInvalido(d)) return u"endereço de destinatário inválido: \""_s + d + u'"';
    for (const QString& anexo : m.anexos) {
        const QFileInfo info(anexo);
        if (!info.isFile()) return u"anexo não encontrado: "_s + anexo;
        QFile f(anexo);
        if (!f.open(QIODevice::ReadOnly)) return u"anexo não pode ser lido: "_s + anexo;
    }
    return {};
}

} // namespace

QString enderecoSmtp(const ServidorSmtp& servidor) {
    QString host = servidor.host.trimmed();
    if (host.contains(u':') && !host.startsWith(u'[')) host = u'[' + host + u']'; // IPv6 literal
    // Port 465 speaks TLS from the first byte (RFC 8314): there is no plain greeting in which
    // STARTTLS could be asked, so a TLS request on that port is implicit TLS.
    const bool implicito = servidor.tls && servidor.porta == 465;
    return (implicito ? u"smtps://"_s : u"smtp://"_s) + host + u':' + QString::number(servidor.porta);
}

QString enderecoEnvelope(const QString& endereco) {
    const QString texto = endereco.trimmed();
    const qsizetype abre = texto.lastIndexOf(u'<');
    if (abre >= 0) {
        const qsizetype fecha = texto.indexOf(u'>', abre);
        if (fecha > abre) return texto.mid(abre + 1, fecha - abre - 1).trimmed();
    }
    return texto;
}

QString enviaSmtp(const ServidorSmtp& servidor, const MensagemSmtp& mensagem) {
    if (const QString erro = verificaAntes(servidor, mensagem); !erro.isEmpty()) return erro;
    iniciaCurl();
    const Curl dono(curl_easy_init());
    CURL* curl = dono.get();
    if (!curl) return u"não foi possível iniciar o cliente SMTP"_s;
    const QString falhaPreparo = u"não foi possível preparar a mensagem de email"_s;

    // Headers of the message (for SMTP, curl writes these list lines as the message's headers).
    ListaCurl cabecalhos;
    bool ok = acrescenta(cabecalhos, "Date: " + dataCabecalho(mensagem.data));
    ok = ok && acrescenta(cabecalhos, "From: " + enderecoCabecalho(mensagem.remetente));
    ok = ok && acrescenta(cabecalhos, "To: " + listaCabecalho(mensagem.destinatarios));
    QString assunto = mensagem.assunto;
    for (QChar& c : assunto)
        if (c.unicode() < 32 || c.unicode() == 127) c = u' ';
    ok = ok && acrescenta(cabecalhos, "Subject: " + valorCabecalho(assunto));
    ok = ok &&
         acrescenta(cabecalhos, "Message-ID: " + identificadorMensagem(mensagem.remetente, mensagem.data));
    ListaCurl destinatarios;
    for (const QString& d : mensagem.destinatarios)
        ok = ok && acrescenta(destinatarios, '<' + enderecoEnvelope(d).toUtf8() + '>');
    if (!ok) return falhaPreparo;

    const Mime mime(curl_mime_init(curl));
    if (!mime) return falhaPreparo;
    QByteArray corpo;
    for (const QString& linha : mensagem.linhas)
        corpo += linha.toUtf8() + "\r\n";
    curl_mimepart* parte = curl_mime_addpart(mime.get());
    if (!parte || curl_mime_data(parte, corpo.constData(), static_cast<size_t>(corpo.size())) != CURLE_OK ||
        curl_mime_type(parte, "text/plain; charset=UTF-8") != CURLE_OK ||
        curl_mime_encoder(parte, "quoted-printable") != CURLE_OK)
        return falhaPreparo;
    for (const QString& anexo : mensagem.anexos) {
        parte = curl_mime_addpart(mime.get());
        if (!parte || curl_mime_filedata(parte, QFile::encodeName(anexo).constData()) != CURLE_OK ||
            curl_mime_type(parte, tipoConteudo(anexo).constData()) != CURLE_OK ||
            curl_mime_encoder(parte, "base64") != CURLE_OK)
            return falhaPreparo;
        // The disposition is written here, folded, so a long file name (an access key) keeps the
        // line short; a name outside plain ASCII goes as RFC 2231, which curl does not write.
        const QString nome = QFileInfo(anexo).fileName();
        const QByteArray parametro = nomeSimples(nome) ? "filename=\"" + nome.toLatin1() + '"'
                                                       : "filename*=UTF-8''" + nomeRfc2231(nome);
        ListaCurl disposicao;
        if (curl_mime_filename(parte, nullptr) != CURLE_OK ||
            !acrescenta(disposicao, "Content-Disposition: attachment;\r\n " + parametro) ||
            curl_mime_headers(parte, disposicao.get(), 1) != CURLE_OK)
            return falhaPreparo;
        (void)disposicao.release(); // the part owns the list now
    }

    const QByteArray url = enderecoSmtp(servidor).toUtf8();
    const QByteArray remetente = '<' + enderecoEnvelope(mensagem.remetente).toUtf8() + '>';
    char erro[CURL_ERROR_SIZE] = {};
    const long segundos = std::max(1L, static_cast<long>((servidor.tempoLimiteMs + 999) / 1000));

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, erro);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(servidor.tempoLimiteMs));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, segundos);
    // A server that stops taking the message is given up after one waiting time without progress.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, segundos);
    verificaServidor(curl, servidor.autoridadesExtras);
    // Once TLS is asked for, a server that does not offer or refuses STARTTLS ends the exchange:
    // the password and the document never travel in clear.
    curl_easy_setopt(curl, CURLOPT_USE_SSL,
                     static_cast<long>(servidor.tls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
    const QByteArray usuario = servidor.usuario.toUtf8();
    const QByteArray senha = servidor.senha.toUtf8();
    if (servidor.tls && !usuario.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, usuario.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, senha.constData());
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, remetente.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, destinatarios.get());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, cabecalhos.get());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime.get());

    const CURLcode codigo = curl_easy_perform(curl);
    if (codigo == CURLE_OK) return {};
    long resposta = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &resposta);
    return motivo(codigo, resposta, erro, servidor);
}

} // namespace qel
