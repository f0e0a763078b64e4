#include "platform/speech/PocketSphinxRecognizer.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#include <sphinxbase/ngram_model.h>

#include <array>

namespace {

constexpr const char* modelFolder = "/usr/share/pocketsphinx/model/en-us";
constexpr std::array<const char*, 2> searchNames{"script-a", "script-b"};

} // namespace

void PocketSphinxRecognizer::ConfigFree::operator()(cmd_ln_s* config) const { cmd_ln_free_r(config); }
void PocketSphinxRecognizer::DecoderFree::operator()(ps_decoder_s* decoder) const { ps_free(decoder); }
void PocketSphinxRecognizer::ModelFree::operator()(ngram_model_s* model) const { ngram_model_free(model); }

PocketSphinxRecognizer::Files PocketSphinxRecognizer::installedFiles()
{
    const QString folder = QString::fromLatin1(modelFolder);
    return {folder + QStringLiteral("/en-us"), folder + QStringLiteral("/cmudict-en-us.dict"), folder + QStringLiteral("/en-us.lm.bin")};
}

PocketSphinxRecognizer::PocketSphinxRecognizer()
    : PocketSphinxRecognizer(installedFiles())
{
}

PocketSphinxRecognizer::PocketSphinxRecognizer(Files files)
    : files_(std::move(files))
{
}

PocketSphinxRecognizer::~PocketSphinxRecognizer()
{
    if (utteranceOpen_)
        ps_end_utt(decoder_.get());
}

bool PocketSphinxRecognizer::modelInstalled() const
{
    return QFileInfo(files_.acousticModel + QStringLiteral("/mdef")).isFile() && QFileInfo(files_.dictionary).isFile();
}

bool PocketSphinxRecognizer::fail(const QString& text)
{
    error_ = text;
    return false;
}

bool PocketSphinxRecognizer::available()
{
    if (decoder_)
        return true;
    if (loadFailed_)
        return false;
    if (!modelInstalled()) {
        loadFailed_ = true;
        return fail(QStringLiteral("the speech model is not installed"));
    }
    QFile dictionary(files_.dictionary);
    if (dictionary.open(QIODevice::ReadOnly)) {
        while (!dictionary.atEnd()) {
            const QString line = QString::fromUtf8(dictionary.readLine()).trimmed();
            const qsizetype space = line.indexOf(u' ');
            if (space > 0)
                dictionary_.insert(line.left(space), line.mid(space + 1).trimmed());
        }
    }
    QTemporaryFile empty;
    const QByteArray hmm = files_.acousticModel.toLocal8Bit();
    const QByteArray dict = empty.open() ? QFile::encodeName(empty.fileName()) : QByteArray();
    // The decoder's own chatter goes nowhere; failures are reported through errorText().
    err_set_logfp(nullptr);
    // One fast pass: following needs the words as they come, not the slower second passes at each pause.
    config_.reset(cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-dict", dict.constData(), "-fwdflat", "no", "-bestpath", "no", nullptr));
    if (config_ && !dictionary_.isEmpty())
        decoder_.reset(ps_init(config_.get()));
    if (!decoder_) {
        loadFailed_ = true;
        return fail(QStringLiteral("the speech decoder could not load its model"));
    }
    return true;
}

std::optional<QString> PocketSphinxRecognizer::pronunciation(const QString& word)
{
    if (!available())
        return std::nullopt;
    const auto found = dictionary_.constFind(word);
    return found == dictionary_.cend() ? std::nullopt : std::optional<QString>(*found);
}

PocketSphinxRecognizer::Model PocketSphinxRecognizer::readArpa(const QByteArray& arpa)
{
    QTemporaryFile file;
    if (!file.open() || file.write(arpa) != arpa.size() || !file.flush())
        return nullptr;
    return Model(ngram_model_read(config_.get(), QFile::encodeName(file.fileName()).constData(), NGRAM_ARPA, ps_get_logmath(decoder_.get())));
}

ngram_model_s* PocketSphinxRecognizer::generalModel()
{
    if (!general_)
        general_.reset(ngram_model_read(config_.get(), QFile::encodeName(files_.generalModel).constData(), NGRAM_AUTO, ps_get_logmath(decoder_.get())));
    return general_.get();
}

bool PocketSphinxRecognizer::installLanguageModel(const LanguageModel& model)
{
    if (!available())
        return false;
    if (utteranceOpen_)
        return fail(QStringLiteral("the language model cannot change within an utterance"));
    // The general model's words are the whole dictionary's.
    if (model.generalWeight > 0 && !wholeDictionaryLoaded_) {
        if (ps_load_dict(decoder_.get(), QFile::encodeName(files_.dictionary).constData(), nullptr, "dict") < 0)
            return fail(QStringLiteral("the speech dictionary could not be read"));
        wholeDictionaryLoaded_ = true;
    }
    for (const auto& [word, phones] : model.pronunciations) {
        const QByteArray name = word.toUtf8();
        if (char* known = ps_lookup_word(decoder_.get(), name.constData()))
            ckd_free(known);
        else
            ps_add_word(decoder_.get(), name.constData(), phones.toLatin1().constData(), FALSE);
    }

    Model chosen;
    if (model.arpa.isEmpty()) {
        if (!generalModel())
            return fail(QStringLiteral("the general language model could not be read"));
        chosen.reset(ngram_model_retain(general_.get()));
    } else {
        Model script = readArpa(model.arpa);
        if (!script)
            return fail(QStringLiteral("the script's language model could not be read"));
        if (model.generalWeight > 0 && generalModel()) {
            std::array<ngram_model_t*, 2> models{script.get(), ngram_model_retain(general_.get())};
            std::array<char*, 2> names{const_cast<char*>("script"), const_cast<char*>("general")};
            const std::array<float32, 2> weights{float32(1.0 - model.generalWeight), float32(model.generalWeight)};
            ngram_model_t* set = ngram_model_set_init(config_.get(), models.data(), names.data(), weights.data(), 2);
            if (!set) {
                ngram_model_free(models[1]);
                return fail(QStringLiteral("the language models could not be mixed"));
            }
            // The set owns both models from here.
            script.release();
            chosen.reset(set);
        } else {
            chosen = std::move(script);
        }
    }
    const char* name = searchNames[static_cast<size_t>(searchNumber_ % 2)];
    if (ps_set_lm(decoder_.get(), name, chosen.get()) != 0 || ps_set_search(decoder_.get(), name) != 0)
        return fail(QStringLiteral("the speech decoder refused the language model"));
    ++searchNumber_;
    return true;
}

bool PocketSphinxRecognizer::startUtterance()
{
    if (!available())
        return false;
    if (utteranceOpen_)
        endUtterance();
    if (ps_start_utt(decoder_.get()) < 0)
        return fail(QStringLiteral("the speech decoder could not start listening"));
    utteranceOpen_ = true;
    return true;
}

bool PocketSphinxRecognizer::process(const int16_t* samples, std::size_t count)
{
    if (!utteranceOpen_)
        return fail(QStringLiteral("no utterance is open"));
    if (ps_process_raw(decoder_.get(), samples, count, FALSE, FALSE) < 0)
        return fail(QStringLiteral("the speech decoder could not process the sound"));
    return true;
}

QString PocketSphinxRecognizer::hypothesis()
{
    if (!decoder_)
        return {};
    int32 score = 0;
    const char* text = ps_get_hyp(decoder_.get(), &score);
    return text ? QString::fromUtf8(text) : QString();
}

bool PocketSphinxRecognizer::inSpeech() { return decoder_ && utteranceOpen_ && ps_get_in_speech(decoder_.get()); }

bool PocketSphinxRecognizer::endUtterance()
{
    if (!utteranceOpen_)
        return true;
    utteranceOpen_ = false;
    if (ps_end_utt(decoder_.get()) < 0)
        return fail(QStringLiteral("the speech decoder could not finish the utterance"));
    return true;
}
